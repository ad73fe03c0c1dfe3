// Times, in a fresh process as at the program's start-up, OleInitialize and then setUpScriptControl.
// Prints "OLE_MS SETUP_MS MADE" (MADE is 1 when the control was made).
#include <windows.h>
#include <ole2.h>

#include <cstdio>

#include "encoding/script_control.h"

int main() {
  LARGE_INTEGER frequency, start, oleDone, setUpDone;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HRESULT ole = OleInitialize(nullptr);
  QueryPerformanceCounter(&oleDone);
  bool made = false;
  {
    ScriptControl cell;
    setUpScriptControl(cell);
    QueryPerformanceCounter(&setUpDone);
    made = static_cast<bool>(cell);
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  auto ms = [&](const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
  };
  std::printf("%.3f %.3f %d\n", ms(start, oleDone), ms(oleDone, setUpDone), made ? 1 : 0);
  return made ? 0 : 1;
}
