// The picture view: stored bytes, the decoded image cut to the view, and the one paint routine.
#include "platform/picture_view.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "imaging/image.h"

namespace {

struct PictureState {
  Bytes stored;
  std::optional<Bitmap> shown;  // only the part that fits the view: nothing beyond it is ever drawn
};

PictureState* stateOf(HWND view) {
  return reinterpret_cast<PictureState*>(GetWindowLongPtrA(view, GWLP_USERDATA));
}

Bitmap cutToView(Bitmap image, int width, int height) {
  if (image.width <= width && image.height <= height) return image;
  Bitmap cut;
  cut.width = std::min(image.width, width);
  cut.height = std::min(image.height, height);
  cut.pixels.resize(static_cast<size_t>(cut.width) * cut.height);
  for (int y = 0; y < cut.height; ++y)
    std::copy_n(image.pixels.begin() + static_cast<size_t>(y) * image.width, cut.width,
                cut.pixels.begin() + static_cast<size_t>(y) * cut.width);
  return cut;
}

// Serves WM_PAINT and WM_PRINTCLIENT alike, so a capture shows exactly what the screen shows.
void paint(HWND view, HDC dc) {
  RECT client;
  GetClientRect(view, &client);
  // Looked up at every paint: the user may change the system colours while the program runs.
  COLORREF background = GetSysColor(COLOR_BTNFACE);
  SetDCBrushColor(dc, background);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  PictureState* state = stateOf(view);
  if (!state || !state->shown) return;
  Bitmap image = *state->shown;
  blendOver(image, GetRValue(background), GetGValue(background), GetBValue(background));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, image.width, image.height, 0, 0, 0, image.height, image.pixels.data(), &info,
                    DIB_RGB_COLORS);
}

LRESULT CALLBACK pictureViewProc(HWND view, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE:
      // The window owns its state from here until WM_NCDESTROY.
      SetWindowLongPtrA(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(std::make_unique<PictureState>().release()));
      break;
    case WM_NCDESTROY:
      std::unique_ptr<PictureState>(stateOf(view)).reset();
      SetWindowLongPtrA(view, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;  // paint fills the whole view
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(view, &ps);
      paint(view, dc);
      EndPaint(view, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      paint(view, reinterpret_cast<HDC>(wp));
      return 0;
  }
  return DefWindowProcA(view, msg, wp, lp);
}

}  // namespace

bool registerPictureView(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = pictureViewProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = pictureViewClass;
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void setPicture(HWND view, const Bytes& bytes) {
  PictureState* state = stateOf(view);
  if (!state) return;
  state->stored = bytes;
  state->shown.reset();
  if (std::optional<Bitmap> image = decodeImage(bytes.data(), bytes.size())) {
    RECT client;
    GetClientRect(view, &client);
    state->shown = cutToView(std::move(*image), client.right, client.bottom);
  }
  InvalidateRect(view, nullptr, FALSE);
  UpdateWindow(view);
}

Bytes getPicture(HWND view) {
  PictureState* state = stateOf(view);
  return state ? state->stored : Bytes();
}

bool pictureShown(HWND view) {
  PictureState* state = stateOf(view);
  return state && state->shown.has_value();
}
