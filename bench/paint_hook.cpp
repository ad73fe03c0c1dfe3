// Hooks loaded into porvanta.exe's GUI thread: time-stamp the click's WM_COMMAND and the picture
// view's WM_PAINT (UpdateWindow sends it, so it passes these hooks) into the shared ClickTimes.
#include <windows.h>

#include "bench/click_times.h"

namespace {

ClickTimes* times = nullptr;

ClickTimes* shared() {
  if (!times) {
    // Kept open and mapped until the process ends: the hook has no moment to close it.
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, clickTimesName);
    if (mapping) times = static_cast<ClickTimes*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ClickTimes)));
  }
  return times;
}

LONGLONG now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

bool isClick(ClickTimes* t, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return hwnd == t->window && msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED && reinterpret_cast<HWND>(lp) == t->button;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK benchBeforeCall(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
  ClickTimes* t = code == HC_ACTION ? shared() : nullptr;
  if (t && isClick(t, m->hwnd, m->message, m->wParam, m->lParam)) {
    t->paints = 0;
    t->inCommand = 1;
    t->commandStart = now();
  } else if (t && t->inCommand && m->hwnd == t->picture && m->message == WM_PAINT) {
    t->paintStart = now();
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK benchAfterCall(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
  ClickTimes* t = code == HC_ACTION ? shared() : nullptr;
  if (t && t->inCommand && m->hwnd == t->picture && m->message == WM_PAINT) {
    t->paintEnd = now();
    ++t->paints;
  } else if (t && t->inCommand && isClick(t, m->hwnd, m->message, m->wParam, m->lParam)) {
    t->commandEnd = now();
    t->inCommand = 0;
    InterlockedIncrement(&t->done);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
