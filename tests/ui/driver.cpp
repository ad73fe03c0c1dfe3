// The GUI test driver: process control, window lookup, input and pixel capture across processes.
#include "tests/ui/driver.h"

#include <gtest/gtest.h>
#include <png.h>

#include <utility>

namespace ui {

std::string winPath(const std::string& unixPath) {
  std::string p = unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p.rfind("Z:", 0) == 0 ? p : "Z:" + p;
}

App App::launch(const std::string& exe) {
  App app;
  std::string path = winPath(exe);
  std::string cmd = "\"" + path + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    app.process_.reset(pi.hProcess);
    app.pid_ = pi.dwProcessId;
    app.thread_ = pi.dwThreadId;
  }
  return app;
}

App::~App() {
  if (!process_) return;
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
  }
}

namespace {
struct Search {
  DWORD pid;
  const char* className;
  HWND found;
};

BOOL CALLBACK findVisible(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
  if (s->className && className(hwnd) != s->className) return TRUE;
  s->found = hwnd;
  return FALSE;
}
}  // namespace

HWND App::findTopLevel(const char* cls) const {
  Search s{pid_, cls, nullptr};
  EnumWindows(findVisible, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND App::waitForWindow(int timeoutMs) {
  pollUntil([&] { return (window_ = findTopLevel(nullptr)) != nullptr; }, timeoutMs);
  return window_;
}

int App::waitForExit(int timeoutMs) {
  if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return -999;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return static_cast<int>(code);
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

std::string className(HWND hwnd) {
  char buf[256] = "";
  GetClassNameA(hwnd, buf, sizeof buf);
  return buf;
}

std::string windowText(HWND hwnd) {
  DWORD_PTR len = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len);
  std::string text(len + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      5000, &got);
  text.resize(got);
  return text;
}

void setText(HWND hwnd, const std::string& text) {
  SendMessageTimeoutA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                      nullptr);
}

void click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

HWND waitForNotice(const App& app, int timeoutMs) {
  HWND box = nullptr;
  pollUntil([&] { return (box = app.findTopLevel("#32770")) != nullptr; }, timeoutMs);
  return box;
}

std::string noticeText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? windowText(text) : std::string();
}

void closeNotice(HWND box) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

namespace {
BOOL CALLBACK findBrowser(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || !IsWindowVisible(hwnd) || className(hwnd) != "#32770") return TRUE;
  if (!GetDlgItem(hwnd, folderTreeId)) return TRUE;
  s->found = hwnd;
  return FALSE;
}

LRESULT sendTo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

HTREEITEM nextItem(HWND tree, UINT relation, HTREEITEM from = nullptr) {
  return reinterpret_cast<HTREEITEM>(sendTo(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}

bool namesItem(const std::string& name, const std::string& text) {
  std::string drive = "(" + name + ")";
  return text == name ||
         (text.size() >= drive.size() && text.compare(text.size() - drive.size(), drive.size(), drive) == 0);
}
}  // namespace

HWND findFolderBrowser(const App& app) {
  Search s{app.pid(), nullptr, nullptr};
  EnumWindows(findBrowser, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND waitForFolderBrowser(const App& app, int timeoutMs) {
  HWND browser = nullptr;
  pollUntil([&] { return (browser = findFolderBrowser(app)) != nullptr; }, timeoutMs);
  return browser;
}

std::string treeItemText(HWND tree, HTREEITEM item) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tree, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return {};
  // The message carries a pointer the tree dereferences in its own process.
  constexpr int textSize = 1024;
  auto* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, sizeof(TVITEMA) + textSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  std::string text;
  if (remote) {
    TVITEMA request{};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = remote + sizeof(TVITEMA);
    request.cchTextMax = textSize;
    char buffer[textSize] = "";
    if (WriteProcessMemory(process, remote, &request, sizeof request, nullptr) &&
        sendTo(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(process, request.pszText, buffer, textSize, nullptr)) {
      buffer[textSize - 1] = '\0';
      text = buffer;
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

bool selectTreePath(HWND browser, const std::vector<std::string>& path) {
  HWND tree = GetDlgItem(browser, folderTreeId);
  HTREEITEM item = nextItem(tree, TVGN_ROOT);
  for (const std::string& name : path) {
    sendTo(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    HTREEITEM parent = item;
    // The dialog fills an item's children while it expands.
    bool found = pollUntil([&] {
      for (item = nextItem(tree, TVGN_CHILD, parent); item; item = nextItem(tree, TVGN_NEXT, item))
        if (namesItem(name, treeItemText(tree, item))) return true;
      return false;
    }, 5000);
    if (!found) return false;
  }
  sendTo(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  return nextItem(tree, TVGN_CARET) == item;
}

std::vector<std::string> treePathOfUnixFolder(const std::string& unixPath) {
  std::vector<std::string> path{"我的电脑", "Z:"};
  for (size_t start = 0, end; start < unixPath.size(); start = end + 1) {
    end = unixPath.find('/', start);
    if (end == std::string::npos) end = unixPath.size();
    if (end > start) path.push_back(unixPath.substr(start, end - start));
  }
  return path;
}

void pressOk(HWND browser) { click(GetDlgItem(browser, IDOK)); }
void pressCancel(HWND browser) { click(GetDlgItem(browser, IDCANCEL)); }

HWND focusOf(HWND anyWindowOfProgram) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(anyWindowOfProgram, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void pressKey(HWND target, WORD vk, bool shift) {
  SetForegroundWindow(target);
  std::vector<INPUT> in;
  auto key = [&](WORD k, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  };
  if (shift) key(VK_SHIFT, false);
  key(vk, false);
  key(vk, true);
  if (shift) key(VK_SHIFT, true);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

Capture capture(HWND hwnd) {
  Capture c;
  RECT rc;
  GetClientRect(hwnd, &rc);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  c.width = rc.right;
  c.height = rc.bottom;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = c.width;
  bi.bmiHeader.biHeight = -c.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, c.width, c.height, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  auto* px = static_cast<std::uint32_t*>(bits);
  c.pixels.assign(px, px + static_cast<size_t>(c.width) * c.height);
  for (auto& p : c.pixels) p &= 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return c;
}

bool savePng(const Capture& shot, const std::string& unixPath) {
  std::string path = winPath(unixPath);
  CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = shot.width;
  image.height = shot.height;
  image.format = PNG_FORMAT_BGRA;
  std::vector<std::uint32_t> opaque(shot.pixels);
  for (auto& p : opaque) p |= 0xFF000000u;
  return png_image_write_to_file(&image, path.c_str(), 0, opaque.data(), 0, nullptr) != 0;
}

std::string serviceHost() {
  std::string url = PORVANTA_SERVICE_URL;
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  return url.substr(start, url.find_first_of(":/", start) - start);
}

namespace {
bool writeHosts(const char* address) {
  std::string hosts = "127.0.0.1 localhost\n::1 localhost\n";
  if (address) hosts += std::string(address) + " " + serviceHost() + "\n";
  HANDLE f = CreateFileA("Z:\\etc\\hosts", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  bool ok = WriteFile(f, hosts.data(), static_cast<DWORD>(hosts.size()), &wrote, nullptr) && wrote == hosts.size();
  CloseHandle(f);
  return ok;
}
}  // namespace

ServiceRoute::ServiceRoute(const char* address) { EXPECT_TRUE(writeHosts(address)); }
ServiceRoute::~ServiceRoute() { writeHosts("127.0.0.1"); }

std::vector<std::string> serviceLog(const char* format) {
  std::string path = winPath(std::string(PORVANTA_SERVICE_DIR) + "/requests-" + format + ".log");
  std::vector<std::string> lines;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return lines;
  std::string all;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) all.append(buf, got);
  CloseHandle(f);
  size_t start = 0;
  for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(all.substr(start, nl - start));
  return lines;
}

}  // namespace ui
