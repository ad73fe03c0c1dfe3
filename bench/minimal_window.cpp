// The start-up baseline: a program that creates and shows one empty window of the main window's
// size and style, then runs a plain message loop. Built three times, each a step closer to the
// program, so that start-up's extra time can be put down to its parts:
//   bench_window           the baseline
//   bench_window_imports   + the program's imports and manifest (Common Controls 6)
//   bench_window_script    + OleInitialize and setUpScriptControl before the window, as the program
#include <windows.h>

#if defined(BENCH_WITH_IMPORTS) || defined(BENCH_WITH_SCRIPT)
#include <ole2.h>
#include <shlobj.h>
#include <wininet.h>
#endif
#ifdef BENCH_WITH_SCRIPT
#include "encoding/script_control.h"
#endif

namespace {
LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

#if defined(BENCH_WITH_IMPORTS) || defined(BENCH_WITH_SCRIPT)
// Referenced, never called: the loader maps these DLLs at start-up as it does for the program.
const void* volatile programImports[] = {
    reinterpret_cast<const void*>(&SHBrowseForFolderA), reinterpret_cast<const void*>(&InternetOpenA),
    reinterpret_cast<const void*>(&OleInitialize), reinterpret_cast<const void*>(&SysAllocString)};
#endif
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef BENCH_WITH_SCRIPT
  OleInitialize(nullptr);
  ScriptControl control;
  setUpScriptControl(control);
#endif
  WNDCLASSA wc{};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "PorvantaBenchWindow";
  if (!RegisterClassA(&wc)) return 1;
  constexpr int width = 440, height = 424;
  HWND window =
      CreateWindowExA(0, wc.lpszClassName, "bench", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                      (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width,
                      height, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
