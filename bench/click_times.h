// The time stamps the paint hook writes inside porvanta.exe and the driver reads: a named shared
// mapping, since the hook runs in the program's process and the driver in its own.
#pragma once

#include <windows.h>

inline constexpr char clickTimesName[] = "PorvantaBenchClickTimes";

// Performance-counter values; the counter is one clock for every process of the machine.
struct ClickTimes {
  // Set by the driver before it installs the hooks: the messages that matter.
  HWND window, button, picture;
  // Set by the hook: while a click's WM_COMMAND runs, the bounds of the picture view's paint.
  LONGLONG commandStart, paintStart, paintEnd, commandEnd;
  LONG inCommand;
  LONG paints;         // paints of the picture view inside the latest command
  volatile LONG done;  // incremented after each command's times are complete
};
