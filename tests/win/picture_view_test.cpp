// The picture view in a window of its own: what it stores, what it gives back and what it paints.
#include <gtest/gtest.h>
#include <png.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "platform/picture_view.h"

namespace {

constexpr int kSize = 205;

// A PNG of the given size whose pixel (x, y) is colour(x, y) as 0xAARRGGBB.
template <class Colour>
Bytes makePng(int width, int height, Colour colour) {
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(colour(x, y));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  Bytes png(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr));
  png.resize(size);
  return png;
}

class PictureViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registerPictureView(GetModuleHandleA(nullptr)));
    parent_ = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 400, 400, nullptr, nullptr, nullptr, nullptr);
    view_ = CreateWindowExA(0, pictureViewClass, "", WS_CHILD | WS_VISIBLE, 10, 10, kSize, kSize, parent_, nullptr,
                            nullptr, nullptr);
    ASSERT_NE(view_, nullptr);
  }
  void TearDown() override { DestroyWindow(parent_); }

  // The view's paint, through WM_PRINTCLIENT into a bitmap of our own, as 0x00RRGGBB.
  std::vector<std::uint32_t> paint() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, dib);
    // Paint sentinel first: the view must cover every pixel itself.
    std::fill_n(static_cast<std::uint32_t*>(bits), kSize * kSize, 0x00123456u);
    SendMessageA(view_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    std::vector<std::uint32_t> out(static_cast<std::uint32_t*>(bits), static_cast<std::uint32_t*>(bits) + kSize * kSize);
    for (auto& p : out) p &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return out;
  }
  static std::uint32_t face() {
    COLORREF c = GetSysColor(COLOR_BTNFACE);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  int countNot(const std::vector<std::uint32_t>& px, std::uint32_t colour) {
    int n = 0;
    for (auto p : px) n += p != colour;
    return n;
  }

  HWND parent_ = nullptr;
  HWND view_ = nullptr;
};

TEST_F(PictureViewTest, StartsEmptyShowingOnlyTheBackground) {
  EXPECT_TRUE(getPicture(view_).empty());
  EXPECT_FALSE(pictureShown(view_));
  EXPECT_EQ(countNot(paint(), face()), 0);
}

TEST_F(PictureViewTest, ImageOf200LeavesAFivePixelStripRightAndBelow) {
  Bytes png = makePng(200, 200, [](int x, int y) { return 0xFF000000u | (x << 16) | (y << 8) | 0x80; });
  setPicture(view_, png);
  EXPECT_TRUE(pictureShown(view_));
  EXPECT_EQ(getPicture(view_), png);
  std::vector<std::uint32_t> px = paint();
  int wrongImage = 0, wrongStrip = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      std::uint32_t p = px[y * kSize + x];
      if (x < 200 && y < 200) wrongImage += p != ((static_cast<std::uint32_t>(x) << 16) | (y << 8) | 0x80);
      else wrongStrip += p != face();
    }
  EXPECT_EQ(wrongImage, 0);
  EXPECT_EQ(wrongStrip, 0);
}

TEST_F(PictureViewTest, LargerImageIsCutAtTheEdges) {
  Bytes png = makePng(300, 260, [](int x, int y) { return 0xFF000000u | ((x * 7 + y) & 0xFFFFFF); });
  setPicture(view_, png);
  std::vector<std::uint32_t> px = paint();
  int wrong = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) wrong += px[y * kSize + x] != static_cast<std::uint32_t>((x * 7 + y) & 0xFFFFFF);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(getPicture(view_), png);
}

TEST_F(PictureViewTest, PartialAlphaIsBlendedOverTheButtonFace) {
  const std::uint8_t alphas[] = {0, 1, 127, 128, 254, 255};
  Bytes png = makePng(6, 1, [&](int x, int) { return (static_cast<std::uint32_t>(alphas[x]) << 24) | 0x00FF4010u; });
  setPicture(view_, png);
  std::vector<std::uint32_t> px = paint();
  std::uint32_t bg = face();
  for (int x = 0; x < 6; ++x) {
    double a = alphas[x] / 255.0;
    auto mix = [&](int fg, int back) { return static_cast<std::uint32_t>(a * fg + (1 - a) * back); };
    std::uint32_t want = (mix(0xFF, bg >> 16 & 0xFF) << 16) | (mix(0x40, bg >> 8 & 0xFF) << 8) | mix(0x10, bg & 0xFF);
    EXPECT_EQ(px[x], want) << "alpha " << int(alphas[x]);
  }
  EXPECT_EQ(px[6], bg);
}

TEST_F(PictureViewTest, BytesThatAreNoImageAreKeptAndClearTheView) {
  setPicture(view_, makePng(50, 50, [](int, int) { return 0xFF000000u; }));
  ASSERT_GT(countNot(paint(), face()), 0);
  std::string html = "<html><body><h1>502 Bad Gateway</h1></body></html>\n";
  Bytes page(html.begin(), html.end());
  Bytes green = makePng(40, 40, [](int x, int) { return 0xFF00FF00u | x; });
  struct Case { const char* what; Bytes bytes; } cases[] = {
      {"an HTML page", page},
      {"seven bytes of PNG signature", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}},
      {"a truncated PNG", Bytes(green.begin(), green.begin() + green.size() / 2)},
      {"nothing", Bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setPicture(view_, c.bytes);
    EXPECT_FALSE(pictureShown(view_));
    EXPECT_EQ(getPicture(view_), c.bytes);
    EXPECT_EQ(countNot(paint(), face()), 0);
  }
}

TEST_F(PictureViewTest, GetPictureHandsOutACopy) {
  Bytes png = makePng(10, 10, [](int, int) { return 0xFFFFFFFFu; });
  setPicture(view_, png);
  Bytes copy = getPicture(view_);
  copy[0] ^= 0xFF;
  EXPECT_EQ(getPicture(view_), png);
}

}  // namespace
