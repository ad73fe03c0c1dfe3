// The notice box over MessageBoxA: no owner, so it shows even when no window of ours is active.
#include "platform/notice.h"

#include <windows.h>

#include "core/texts.h"

void showNotice(const Text& message) {
  // MB_TASKMODAL disables the program's windows for as long as the box is open.
  MessageBoxA(nullptr, message.c_str(), texts::noticeCaption, MB_OK | MB_TASKMODAL);
}
