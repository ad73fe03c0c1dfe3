// MainWindow: layout, painting, focus and keyboard, and the binding of the two buttons to their commands.
#include "app/main_window.h"

#include "app/commands/commands.h"
#include "app/resources/resource.h"
#include "app/state.h"
#include "core/texts.h"
#include "platform/handles.h"
#include "platform/picture_view.h"

namespace {

constexpr char mainWindowClass[] = "PorvantaMainWindow";
constexpr char labelClass[] = "PorvantaLabel";
constexpr int windowWidth = 440;
constexpr int windowHeight = 424;

// The icon lives as long as the program; the window only borrows it.
UniqueIcon appIcon;
// The control that had the focus when the window was last deactivated.
HWND focusOnDeactivate = nullptr;
// The window's own font: DefWindowProc keeps none for a top-level window.
HFONT windowFont = nullptr;

struct ControlLayout {
  HWND Controls::*slot;
  const char* className;
  DWORD style;
  DWORD exStyle;
  int x, y, width, height;
  const char* text;
};

constexpr DWORD fieldStyle = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD buttonStyle = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE | WS_TABSTOP;

// Creation order is the order the controls have among the window's children.
const ControlLayout controlLayout[] = {
    {&Controls::标签1, labelClass, 0, 0, 88, 8, 200, 32, texts::windowTitle},
    {&Controls::标签2, labelClass, 0, 0, 8, 56, 80, 40, texts::nameCaption},
    {&Controls::编辑框1, "EDIT", fieldStyle, WS_EX_CLIENTEDGE, 112, 56, 160, 32, ""},
    {&Controls::标签3, labelClass, 0, 0, 8, 120, 80, 40, texts::passwordCaption},
    {&Controls::编辑框2, "EDIT", fieldStyle, WS_EX_CLIENTEDGE, 112, 120, 160, 32, ""},
    {&Controls::按钮1, "BUTTON", buttonStyle, 0, 304, 48, 72, 48, texts::generateButton},
    {&Controls::按钮2, "BUTTON", buttonStyle, 0, 304, 112, 72, 48, texts::saveButton},
    {&Controls::图片框1, pictureViewClass, 0, 0, 96, 176, 205, 205, ""},
};

void fillWithButtonFace(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  SetDCBrushColor(dc, GetSysColor(COLOR_BTNFACE));
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// Labels paint themselves: button face, then the text in black, centred on one line.
void paintLabel(HWND label, HDC dc) {
  fillWithButtonFace(label, dc);
  char text[256] = "";
  GetWindowTextA(label, text, sizeof text);
  RECT client;
  GetClientRect(label, &client);
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(GetWindowLongPtrA(label, 0)));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  SelectObject(dc, oldFont);
}

LRESULT CALLBACK labelProc(HWND label, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETFONT:
      SetWindowLongPtrA(label, 0, static_cast<LONG_PTR>(wp));  // the stock font: nothing to free
      if (LOWORD(lp)) InvalidateRect(label, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrA(label, 0);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(label, &ps);
      paintLabel(label, dc);
      EndPaint(label, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      paintLabel(label, reinterpret_cast<HDC>(wp));
      return 0;
  }
  return DefWindowProcA(label, msg, wp, lp);
}

void onCommand(HWND from, int notification) {
  if (notification != BN_CLICKED) return;
  if (from == controls.按钮1) generateCommand();
  if (from == controls.按钮2) saveCommand();
}

// Edit controls are drawn black on white whatever the system colours say.
LRESULT onColorEdit(HDC dc) {
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void onActivate(int state) {
  if (state != WA_INACTIVE) return;
  HWND focus = GetFocus();
  if (focus && IsChild(mainWindow, focus)) focusOnDeactivate = focus;
}

// The window passes the focus on whenever it gets it itself: first shown, and every reactivation.
void onSetFocus() {
  HWND target = focusOnDeactivate && IsWindow(focusOnDeactivate) ? focusOnDeactivate : controls.编辑框1;
  SetFocus(target);
}

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      fillWithButtonFace(hwnd, reinterpret_cast<HDC>(wp));
      return 1;
    case WM_CTLCOLOREDIT:
      return onColorEdit(reinterpret_cast<HDC>(wp));
    case WM_COMMAND:
      onCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
      return 0;
    case WM_ACTIVATE:
      onActivate(LOWORD(wp));
      break;
    case WM_SETFOCUS:
      onSetFocus();
      return 0;
    case WM_SETFONT:
      windowFont = reinterpret_cast<HFONT>(wp);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(windowFont);
    case WM_SYSCOMMAND:
      // A fixed frame: no maximising, no sizing, whatever sends the command.
      if ((wp & 0xFFF0) == SC_MAXIMIZE || (wp & 0xFFF0) == SC_SIZE) return 0;
      break;
    case WM_DESTROY:
      mainWindow = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

bool registerClasses(HINSTANCE instance) {
  WNDCLASSA main{};
  main.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  main.lpfnWndProc = mainWindowProc;
  main.hInstance = instance;
  main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PORVANTA));
  main.hCursor = LoadCursor(nullptr, IDC_ARROW);
  main.lpszClassName = mainWindowClass;
  WNDCLASSA label{};
  label.lpfnWndProc = labelProc;
  label.cbWndExtra = sizeof(LONG_PTR);  // the label's font
  label.hInstance = instance;
  label.hCursor = LoadCursor(nullptr, IDC_ARROW);
  label.lpszClassName = labelClass;
  return RegisterClassA(&main) && RegisterClassA(&label) && registerPictureView(instance);
}

Bytes initialPicture(HINSTANCE instance) {
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(IDR_WAITING_PNG), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  return data ? Bytes(data, data + SizeofResource(instance, found)) : Bytes();
}

void createControls(HINSTANCE instance, HFONT font) {
  for (const ControlLayout& entry : controlLayout) {
    HWND control = CreateWindowExA(entry.exStyle, entry.className, entry.text, WS_CHILD | entry.style, entry.x, entry.y,
                                   entry.width, entry.height, mainWindow, nullptr, instance, nullptr);
    controls.*entry.slot = control;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  // No limit of the program's own: 0 asks for the platform's maximum.
  SendMessageA(controls.编辑框1, EM_LIMITTEXT, 0, 0);
  SendMessageA(controls.编辑框2, EM_LIMITTEXT, 0, 0);
  setPicture(controls.图片框1, initialPicture(instance));
}

}  // namespace

bool createMainWindow(HINSTANCE instance) {
  if (!registerClasses(instance)) return false;
  // The whole primary screen counts, not the work area; the division truncates toward zero.
  int left = (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2;
  mainWindow = CreateWindowExA(0, mainWindowClass, texts::windowTitle,
                               WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, left, top, windowWidth,
                               windowHeight, nullptr, nullptr, instance, nullptr);
  if (!mainWindow) return false;
  RECT made;
  GetWindowRect(mainWindow, &made);
  if (made.right - made.left != windowWidth || made.bottom - made.top != windowHeight)
    SetWindowPos(mainWindow, nullptr, left, top, windowWidth, windowHeight, SWP_NOZORDER | SWP_NOACTIVATE);

  appIcon.reset(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_PORVANTA), IMAGE_ICON, 128, 128, 0)));
  SendMessageA(mainWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon.get()));
  SendMessageA(mainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon.get()));
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageA(mainWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

  createControls(instance, font);
  for (const ControlLayout& entry : controlLayout) ShowWindow(controls.*entry.slot, SW_SHOW);
  ShowWindow(mainWindow, SW_SHOW);
  return true;
}

namespace {
bool takesTabFocus(HWND control) {
  return IsWindowVisible(control) && IsWindowEnabled(control) && (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP);
}

void moveFocusInRing(bool backwards) {
  const HWND ring[] = {controls.编辑框1, controls.编辑框2, controls.按钮1, controls.按钮2};
  constexpr int n = 4;
  int at = -1;
  for (int i = 0; i < n; ++i)
    if (ring[i] == GetFocus()) at = i;
  for (int step = 1; step <= n; ++step) {
    int i = backwards ? ((at < 0 ? 0 : at) - step + n) % n : (at + step) % n;
    if (takesTabFocus(ring[i])) {
      SetFocus(ring[i]);
      return;
    }
  }
}
}  // namespace

bool handleKeyBeforeControl(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !mainWindow) return false;
  if (msg.hwnd != mainWindow && !IsChild(mainWindow, msg.hwnd)) return false;
  moveFocusInRing(GetKeyState(VK_SHIFT) < 0);
  return true;
}

Text readField(HWND field) {
  int length = GetWindowTextLengthA(field);
  if (length <= 0) return Text();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(field, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Text(std::move(text));
}
