// pickFolder over SHBrowseForFolderA, with the program's windows disabled and restored around it.
#include "platform/folder.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "platform/handles.h"

namespace {

// The browser's item identifier list belongs to the shell's allocator, so it goes back through it.
struct PidlTraits {
  using Type = LPITEMIDLIST;
  static Type invalid() { return nullptr; }
  static void close(Type pidl) {
    ComPtr<IMalloc> allocator;
    if (SUCCEEDED(SHGetMalloc(allocator.put()))) allocator->Free(pidl);
  }
};
using UniquePidl = UniqueHandle<PidlTraits>;

using WindowStates = std::vector<std::pair<HWND, bool>>;

BOOL CALLBACK noteAndDisable(HWND hwnd, LPARAM lp) {
  if (GetParent(hwnd)) return TRUE;
  reinterpret_cast<WindowStates*>(lp)->emplace_back(hwnd, IsWindowEnabled(hwnd) != 0);
  EnableWindow(hwnd, FALSE);
  return TRUE;
}

}  // namespace

Text pickFolder(const Text& title) {
  HWND active = GetActiveWindow();
  if (!IsWindow(active)) active = nullptr;
  HWND foreground = GetForegroundWindow();
  // Every top-level window of the program: it has this one GUI thread.
  WindowStates noted;
  EnumThreadWindows(GetCurrentThreadId(), noteAndDisable, reinterpret_cast<LPARAM>(&noted));

  char displayName[MAX_PATH] = "";
  BROWSEINFOA info{};
  info.hwndOwner = active;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_EDITBOX;
  UniquePidl chosen(SHBrowseForFolderA(&info));

  for (const auto& [hwnd, enabled] : noted) EnableWindow(hwnd, enabled);
  if (foreground && IsWindow(foreground)) SetForegroundWindow(foreground);
  if (active && IsWindow(active)) SetActiveWindow(active);

  if (!chosen) return Text();
  char path[MAX_PATH] = "";
  if (!SHGetPathFromIDListA(chosen.get(), path) || path[0] == '\0') return Text();
  return Text(path);
}
