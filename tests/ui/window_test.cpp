// MainWindow as the user meets it: placement, the controls and their settings, focus and keys, the frame.
#include <gtest/gtest.h>

#include <string>

#include "core/texts.h"
#include "tests/ui/driver.h"

namespace {

class MainWindowTest : public ::testing::Test {
 public:
  void SetUp() override {
    app_ = std::make_unique<ui::App>(ui::App::launch());
    ASSERT_TRUE(app_->running());
    window_ = app_->waitForWindow();
    ASSERT_NE(window_, nullptr);
    kids_ = ui::children(window_);
    ASSERT_EQ(kids_.size(), 8u);
    // Start-up has finished once the focus has gone to the first field.
    ASSERT_TRUE(ui::pollUntil([&] { return ui::focusOf(window_) == field1(); }));
  }
  void TearDown() override {
    if (window_ && IsWindow(window_)) {
      PostMessageA(window_, WM_CLOSE, 0, 0);
      EXPECT_EQ(app_->waitForExit(), 0);
    }
  }
  HWND field1() const { return kids_[2]; }
  HWND field2() const { return kids_[4]; }
  HWND button1() const { return kids_[5]; }
  HWND button2() const { return kids_[6]; }
  HWND picture() const { return kids_[7]; }
  // Key presses reach the program through the input queue, after any sent message: so the tests
  // wait for what a key does, and prove a key did nothing by a Tab pressed after it.
  void press(WORD vk, bool shift = false) { ui::pressKey(window_, vk, shift); }
  bool focusBecomes(HWND want) {
    return ui::pollUntil([&] { return ui::focusOf(window_) == want; }, 5000);
  }
  HWND nextInRing(HWND from) const {
    const HWND ring[] = {field1(), field2(), button1(), button2()};
    for (int i = 0; i < 4; ++i)
      if (ring[i] == from) return ring[(i + 1) % 4];
    return nullptr;
  }

  std::unique_ptr<ui::App> app_;
  HWND window_ = nullptr;
  std::vector<HWND> kids_;
};

TEST_F(MainWindowTest, IsCentredWithItsFixedSizeOnTheWholeScreen) {
  struct Screen { int width, height; RECT want; } screens[] = {
      {1920, 1080, {740, 328, 1180, 752}},
      {1366, 768, {463, 172, 903, 596}},
  };
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  const Screen* screen = nullptr;
  for (const Screen& s : screens)
    if (s.width == sw && s.height == sh) screen = &s;
  ASSERT_NE(screen, nullptr) << "no expectation for a screen of " << sw << "x" << sh;
  RECT r;
  GetWindowRect(window_, &r);
  EXPECT_EQ(r.left, screen->want.left);
  EXPECT_EQ(r.top, screen->want.top);
  EXPECT_EQ(r.right, screen->want.right);
  EXPECT_EQ(r.bottom, screen->want.bottom);
}

TEST_F(MainWindowTest, HasItsTitleFrameAndClassSettings) {
  EXPECT_EQ(ui::windowText(window_), "Porvanta");
  LONG style = GetWindowLongA(window_, GWL_STYLE);
  for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, WS_CLIPCHILDREN}) EXPECT_EQ(style & bit, bit);
  EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_EQ(GetWindowLongA(window_, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);  // the system adds the edge
  EXPECT_EQ(GetParent(window_), nullptr);
  EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
  DWORD cls = GetClassLongA(window_, GCL_STYLE);
  EXPECT_EQ(cls, static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
  EXPECT_EQ(GetClassLongPtrA(window_, GCLP_HBRBACKGROUND), 0);
  // Wine answers WM_GETICON and WM_GETFONT from another process with nothing, so the window icons
  // are checked on the X side (window_icon.sh) and the fonts by what the labels draw.
}

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem) {
  const DWORD field = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
  const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_MULTILINE;
  struct Control {
    const char* name; const char* cls; int x, y, w, h; const char* text; DWORD styleOn, styleOff, exOn;
  } table[] = {
      {"标签1", "PorvantaLabel", 88, 8, 200, 32, "Porvanta", WS_CHILD | WS_VISIBLE, WS_TABSTOP | WS_BORDER, 0},
      {"标签2", "PorvantaLabel", 8, 56, 80, 40, texts::nameCaption, WS_CHILD | WS_VISIBLE, WS_TABSTOP, 0},
      {"编辑框1", "Edit", 112, 56, 160, 32, "", field,
       ES_PASSWORD | ES_READONLY | ES_UPPERCASE | ES_LOWERCASE | ES_NOHIDESEL | ES_MULTILINE | ES_NUMBER,
       WS_EX_CLIENTEDGE},
      {"标签3", "PorvantaLabel", 8, 120, 80, 40, texts::passwordCaption, WS_CHILD | WS_VISIBLE, WS_TABSTOP, 0},
      {"编辑框2", "Edit", 112, 120, 160, 32, "", field,
       ES_PASSWORD | ES_READONLY | ES_UPPERCASE | ES_LOWERCASE | ES_NOHIDESEL | ES_MULTILINE | ES_NUMBER,
       WS_EX_CLIENTEDGE},
      {"按钮1", "Button", 304, 48, 72, 48, texts::generateButton, button, BS_DEFPUSHBUTTON | BS_BITMAP | BS_ICON, 0},
      {"按钮2", "Button", 304, 112, 72, 48, texts::saveButton, button, BS_DEFPUSHBUTTON | BS_BITMAP | BS_ICON, 0},
      {"图片框1", "PorvantaPicture", 96, 176, 205, 205, "", WS_CHILD | WS_VISIBLE, WS_TABSTOP | WS_BORDER, 0},
  };
  for (size_t i = 0; i < 8; ++i) {
    const Control& c = table[i];
    HWND h = kids_[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::className(h), c.cls);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.x);
    EXPECT_EQ(r.top, c.y);
    EXPECT_EQ(r.right - r.left, c.w);
    EXPECT_EQ(r.bottom - r.top, c.h);
    EXPECT_EQ(ui::windowText(h), c.text);
    DWORD style = GetWindowLongA(h, GWL_STYLE);
    EXPECT_EQ(style & c.styleOn, c.styleOn);
    EXPECT_EQ(style & c.styleOff, 0u);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, c.exOn);
    EXPECT_TRUE(IsWindowEnabled(h));
  }
  // EM_LIMITTEXT 0 gives the platform's maximum, far above the old 30000 default.
  EXPECT_GT(SendMessageA(field1(), EM_GETLIMITTEXT, 0, 0), 30000);
  EXPECT_GT(SendMessageA(field2(), EM_GETLIMITTEXT, 0, 0), 30000);
  EXPECT_EQ(SendMessageA(field2(), EM_GETPASSWORDCHAR, 0, 0), 0);
}

TEST_F(MainWindowTest, TabAndShiftTabGoRoundTheRing) {
  struct Step { WORD vk; bool shift; HWND (MainWindowTest::*want)() const; } steps[] = {
      {VK_TAB, false, &MainWindowTest::field2},  {VK_TAB, false, &MainWindowTest::button1},
      {VK_TAB, false, &MainWindowTest::button2}, {VK_TAB, false, &MainWindowTest::field1},
      {VK_TAB, true, &MainWindowTest::button2},  {VK_TAB, true, &MainWindowTest::button1},
      {VK_TAB, true, &MainWindowTest::field2},   {VK_TAB, true, &MainWindowTest::field1},
  };
  int n = 0;
  for (const Step& s : steps) {
    press(s.vk, s.shift);
    ASSERT_TRUE(focusBecomes((this->*s.want)())) << "after step " << ++n;
  }
  // The Tab itself went no further: no tab character in either field.
  EXPECT_EQ(ui::windowText(field1()), "");
  EXPECT_EQ(ui::windowText(field2()), "");
}

TEST_F(MainWindowTest, EscEnterAndF1ChangeNothingWhereverTheFocusIs) {
  for (int tabs = 0; tabs < 4; ++tabs) {
    HWND focused = ui::focusOf(window_);
    for (WORD vk : {VK_ESCAPE, VK_RETURN, VK_F1}) {
      press(vk);
      // The Tab after the key lands on the control after the one that had the focus before it.
      press(VK_TAB);
      ASSERT_TRUE(focusBecomes(nextInRing(focused))) << "key " << vk << " after " << tabs << " tabs";
      press(VK_TAB, true);
      ASSERT_TRUE(focusBecomes(focused));
      EXPECT_TRUE(IsWindowVisible(window_));
      EXPECT_EQ(app_->findTopLevel("#32770"), nullptr) << "a box opened";
    }
    press(VK_TAB);
    ASSERT_TRUE(focusBecomes(nextInRing(focused)));
  }
  EXPECT_EQ(ui::windowText(field1()), "");
  EXPECT_EQ(ui::windowText(field2()), "");
}

TEST_F(MainWindowTest, PasswordShowsAsTyped) {
  press(VK_TAB);
  ASSERT_TRUE(focusBecomes(field2()));
  for (WORD vk : {'P', 'W', '1'}) press(vk);
  EXPECT_TRUE(ui::pollUntil([&] { return ui::windowText(field2()) == "pw1"; }, 5000)) << ui::windowText(field2());
}

TEST_F(MainWindowTest, FocusComesBackAfterAnotherWindowWasActive) {
  press(VK_TAB);
  ASSERT_TRUE(focusBecomes(field2()));
  press(VK_TAB);
  ASSERT_TRUE(focusBecomes(button1()));
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  ASSERT_TRUE(ui::pollUntil([&] { return GetForegroundWindow() == other; }));
  SetForegroundWindow(window_);
  EXPECT_TRUE(ui::pollUntil([&] { return ui::focusOf(window_) == button1(); }));
  DestroyWindow(other);
}

TEST_F(MainWindowTest, CannotBeMaximisedOrResizedButMinimisesAndRestores) {
  RECT before;
  GetWindowRect(window_, &before);
  SendMessageA(window_, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  SendMessageA(window_, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  RECT after;
  GetWindowRect(window_, &after);
  EXPECT_FALSE(IsZoomed(window_));
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_EQ(SendMessageA(window_, WM_NCHITTEST, 0, MAKELPARAM(before.right - 1, before.bottom - 1)) == HTBOTTOMRIGHT,
            false);

  SendMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(ui::pollUntil([&] { return IsIconic(window_) != 0; }));
  SendMessageA(window_, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(ui::pollUntil([&] { return !IsIconic(window_); }));
  GetWindowRect(window_, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
}

// What a label should look like: button face, then its text in DEFAULT_GUI_FONT, black, centred.
ui::Capture drawLabel(const std::string& text, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  RECT r{0, 0, width, height};
  SetDCBrushColor(dc, GetSysColor(COLOR_BTNFACE));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  ui::Capture c;
  c.width = width;
  c.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      COLORREF p = GetPixel(dc, x, y);
      c.pixels.push_back((GetRValue(p) << 16) | (GetGValue(p) << 8) | GetBValue(p));
    }
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return c;
}

TEST_F(MainWindowTest, InitialPictureAndLabelsArePainted) {
  ui::Capture shot;
  // The first paint comes after the window shows: wait for the picture's white.
  ASSERT_TRUE(ui::pollUntil([&] {
    shot = ui::capture(window_);
    return shot.width > 0 && shot.at(96 + 3, 176 + 3) == 0xFFFFFFu;
  }));
  ui::savePng(shot, std::string(PORVANTA_BUILD_DIR) + "/screenshots/main-window.png");
  const std::uint32_t face = GetSysColor(COLOR_BTNFACE);
  const std::uint32_t faceRgb = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);
  // The picture view at (96, 176): white with black "waiting" ink in columns 65-127, rows 91-108.
  int ink = 0, inkOutside = 0, other = 0;
  for (int y = 0; y < 205; ++y)
    for (int x = 0; x < 205; ++x) {
      std::uint32_t p = shot.at(96 + x, 176 + y);
      bool inBox = x >= 65 && x <= 127 && y >= 91 && y <= 108;
      if (p == 0) (inBox ? ink : inkOutside)++;
      else if (p != 0xFFFFFFu) other++;
    }
  EXPECT_GT(ink, 100);
  EXPECT_EQ(inkOutside, 0);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(shot.at(2, 2), faceRgb);
  // Each label exactly as drawn here with the stock GUI font.
  struct Label { const char* text; int x, y, w, h; } labels[] = {
      {"Porvanta", 88, 8, 200, 32}, {texts::nameCaption, 8, 56, 80, 40}, {texts::passwordCaption, 8, 120, 80, 40}};
  for (const Label& l : labels) {
    ui::Capture want = drawLabel(l.text, l.w, l.h);
    int differ = 0, inkPixels = 0;
    for (int y = 0; y < l.h; ++y)
      for (int x = 0; x < l.w; ++x) {
        differ += shot.at(l.x + x, l.y + y) != want.at(x, y);
        inkPixels += want.at(x, y) != faceRgb;
      }
    EXPECT_GT(inkPixels, 10) << l.text;
    EXPECT_EQ(differ, 0) << l.text;
  }
}

}  // namespace
