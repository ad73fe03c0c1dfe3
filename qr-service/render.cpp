// From text to symbol to scaled image.
#include "render.h"

#include <cerrno>
#include <qrencode.h>

#include "image_files.h"

namespace qrservice {

namespace {

// High enough to decode cleanly, since JPEG smears the edges of one-pixel modules.
constexpr int jpegQuality = 95;

}  // namespace

RenderedImage renderQr(std::string_view text, int width, ImageFormat format) {
  RenderedImage result;
  if (text.empty()) {
    result.status = RenderStatus::emptyText;
    return result;
  }
  errno = 0;
  QRcode* code = QRcode_encodeData(static_cast<int>(text.size()), reinterpret_cast<const unsigned char*>(text.data()),
                                   0, QR_ECLEVEL_M);
  if (!code) {
    result.status = errno == ERANGE ? RenderStatus::tooLong : RenderStatus::failed;
    return result;
  }
  ModuleGrid grid;
  grid.modules = code->width + 2 * quietZoneModules;
  grid.scale = width / grid.modules > 0 ? width / grid.modules : 1;
  grid.dark.assign(static_cast<size_t>(grid.modules) * grid.modules, 0);
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      // Bit 0 of each libqrencode module byte is the colour; the other bits describe its role.
      unsigned char module = code->data[y * code->width + x] & 1;
      grid.dark[(y + quietZoneModules) * grid.modules + x + quietZoneModules] = module;
    }
  }
  QRcode_free(code);

  result.bytes = format == ImageFormat::png ? writePng(grid) : writeJpeg(grid, jpegQuality);
  if (result.bytes.empty()) return result;
  result.status = RenderStatus::ok;
  result.modules = grid.modules;
  result.pixels = grid.modules * grid.scale;
  return result;
}

const char* contentType(ImageFormat format) {
  return format == ImageFormat::png ? "image/png" : "image/jpeg";
}

}  // namespace qrservice
