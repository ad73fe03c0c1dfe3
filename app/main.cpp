// Entry point: start-up in its fixed order, the message loop, and the end with the exit routine.
#include <windows.h>
#include <ole2.h>

#include "app/main_window.h"
#include "app/state.h"
#include "core/texts.h"

namespace {

// Releases what the program state still holds, in this order, once, at a normal end.
void exitRoutine() {
  chosenFolder = Text();
  releaseScriptControl(*scriptControl);
  scriptControl.reset();
  qrText = Text();
}

// Runs the exit routine when start-up's scope ends, unless the program ends through a failure.
struct ExitRoutine {
  ExitRoutine() = default;
  ExitRoutine(const ExitRoutine&) = delete;
  ExitRoutine& operator=(const ExitRoutine&) = delete;
  ~ExitRoutine() { exitRoutine(); }
};

// Start-up goes on whatever OleInitialize returns; only a successful call (S_OK or S_FALSE) is
// counted, and so only that one is paired with OleUninitialize.
struct OleSession {
  OleSession() : initialised(SUCCEEDED(OleInitialize(nullptr))) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (initialised) OleUninitialize();
  }
  bool initialised;
};

int runMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (handleKeyBeforeControl(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  OleSession ole;
  scriptControl = std::make_unique<ScriptControl>();
  ExitRoutine atEnd;
  setUpScriptControl(*scriptControl);
  if (!createMainWindow(instance)) {
    MessageBoxA(nullptr, texts::windowFailed, texts::windowTitle, MB_OK | MB_ICONERROR);
    // At once, with -1: the exit routine is not run for a start-up that never got going.
    ExitProcess(static_cast<UINT>(-1));
  }
  return runMessageLoop();
}
