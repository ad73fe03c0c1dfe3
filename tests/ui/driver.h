// Drives a running porvanta.exe from another process in the same Wine prefix: launch, find windows
// and controls, type, click, read notices and focus, capture pixels, collect the exit code.
#pragma once

#include <windows.h>

#include "platform/handles.h"
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

// Calls cond every few milliseconds until it is true or the deadline passes; true if it became true.
template <class Cond>
bool pollUntil(Cond cond, int timeoutMs = 10000) {
  // Not <chrono>: its µs literal has no code page 936 form, and these files are compiled for 936.
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(5);
  }
}

// The Windows path of a file the build tree holds, from its Unix path (Z: is the Unix root).
std::string winPath(const std::string& unixPath);

class App {
 public:
  // Starts the program; its main window is found by waitForWindow.
  static App launch(const std::string& exe = PORVANTA_EXE);
  App(App&& other) noexcept = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App();  // ends the process if it still runs

  bool running() const { return static_cast<bool>(process_); }
  DWORD pid() const { return pid_; }
  // The first visible top-level window of the process, or null after the timeout.
  HWND waitForWindow(int timeoutMs = 15000);
  HWND window() const { return window_; }
  // Waits for the process to end and yields its exit code, or -999 on timeout.
  int waitForExit(int timeoutMs = 15000);
  // A visible top-level window of the process with the given class ("#32770" for a notice box).
  HWND findTopLevel(const char* className) const;

 private:
  App() = default;
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
  DWORD thread_ = 0;
  HWND window_ = nullptr;
};

// Child windows of parent in creation order (each child's z order follows creation here).
std::vector<HWND> children(HWND parent);
std::string className(HWND hwnd);
std::string windowText(HWND hwnd);  // WM_GETTEXT, in the program's code page
void setText(HWND hwnd, const std::string& text);
// A click as the user's: posted, so a modal notice it opens does not block the driver.
void click(HWND button);

// Notice boxes: the box's message text, and closing it with OK.
HWND waitForNotice(const App& app, int timeoutMs = 10000);
std::string noticeText(HWND box);
void closeNotice(HWND box);

// The window with the keyboard focus in the program's GUI thread.
HWND focusOf(HWND anyWindowOfProgram);
// Real key presses through SendInput, after bringing the window to the foreground.
void pressKey(HWND target, WORD vk, bool shift = false);

// The shell's folder browser as the program opens it: a dialog of the program that holds the
// folder tree (SysTreeView32). Under Wine 8 the classic dialog shows only the tree, OK and Cancel.
inline constexpr int folderTreeId = 14145;
HWND findFolderBrowser(const App& app);
HWND waitForFolderBrowser(const App& app, int timeoutMs = 10000);
// An item's text, read from the other process's tree through memory allocated in that process.
std::string treeItemText(HWND tree, HTREEITEM item);
// Selects the folder reached from the tree's root (the Desktop) through items of these texts,
// expanding each on the way; an empty path selects the root. A name matches an item of exactly
// that text, or a drive item whose text ends in "(name)". False if an item is missing or the
// selection did not take.
bool selectTreePath(HWND browser, const std::vector<std::string>& path);
// The tree path of a Unix folder through the Z: drive ("/" on the Unix side).
std::vector<std::string> treePathOfUnixFolder(const std::string& unixPath);
void pressOk(HWND browser);
void pressCancel(HWND browser);

// Points the program's service host at another loopback address for as long as it lives, by
// rewriting the sandbox's hosts file (each new process of the program resolves the host afresh).
// 127.0.0.1 is the PNG service, 127.0.0.2 the JPEG one; other addresses are the test's own.
// A null address leaves the host out of the file, so that it resolves nowhere.
class ServiceRoute {
 public:
  explicit ServiceRoute(const char* address);
  ServiceRoute(const ServiceRoute&) = delete;
  ServiceRoute& operator=(const ServiceRoute&) = delete;
  ~ServiceRoute();  // back to 127.0.0.1
};
// The service host the program was built with ("qr.porvanta.org").
std::string serviceHost();
// The lines a service logged so far (one per request: request line, status, body bytes).
std::vector<std::string> serviceLog(const char* format = "png");

struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top-down
  std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// The client area's pixels as they are on the screen.
Capture capture(HWND hwnd);
// Writes a capture as a PNG file (a Unix path; its folder is made if missing); false on failure.
bool savePng(const Capture& shot, const std::string& unixPath);

}  // namespace ui
