// The owning wrapper for WinINet handles (root, connection and request alike).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "platform/handles.h"

struct InternetTraits {
  using Type = HINTERNET;
  static Type invalid() { return nullptr; }
  static void close(Type h) { InternetCloseHandle(h); }
};
using UniqueInternet = UniqueHandle<InternetTraits>;
