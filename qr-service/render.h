// Renders a text as a QR code image: libqrencode for the symbol, PNG or JPEG for the picture.
#pragma once

#include <string>
#include <string_view>

namespace qrservice {

enum class ImageFormat { png, jpeg };

inline constexpr int quietZoneModules = 4;

enum class RenderStatus { ok, emptyText, tooLong, failed };

struct RenderedImage {
  RenderStatus status = RenderStatus::failed;
  std::string bytes;
  int pixels = 0;   // the image is pixels x pixels
  int modules = 0;  // symbol width plus the quiet zone on both sides
};

// The text's bytes go into one 8-bit segment at error correction level M, with the smallest
// version that holds them. Each module is width / modules pixels, at least one: a symbol with
// more modules than width comes out one pixel per module, wider than asked, because a
// downscaled code would not scan.
RenderedImage renderQr(std::string_view text, int width, ImageFormat format);

const char* contentType(ImageFormat format);

}  // namespace qrservice
