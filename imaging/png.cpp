// PNG decoding through libpng's simplified read-from-memory interface.
#include "imaging/decoders.h"

#include <bit>
#include <cstring>
#include <png.h>

// PNG_FORMAT_BGRA writes the bytes B, G, R, A: our 0xAARRGGBB only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

namespace {

std::uint32_t readBe32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// libpng only warns about an oversized chunk and then allocates whatever length it claims: a
// 211-byte file once asked for 1.6 GB. All the bytes are here, so every chunk must fit in them.
bool chunksFitInData(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kSignatureSize = 8;
  constexpr std::size_t kChunkFraming = 12;  // length, type, CRC
  std::size_t offset = kSignatureSize;
  while (size - offset >= kChunkFraming) {
    const std::size_t length = readBe32(data + offset);
    if (length > size - offset - kChunkFraming) {
      return false;
    }
    if (std::memcmp(data + offset + 4, "IEND", 4) == 0) {
      return true;
    }
    offset += kChunkFraming + length;
  }
  return false;
}

}  // namespace

std::optional<Bitmap> decodePng(const unsigned char* data, std::size_t size) {
  if (size < 8 || !chunksFitInData(data, size)) {
    return std::nullopt;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  // On failure libpng has already released what it allocated for the image.
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    return std::nullopt;
  }
  std::optional<Bitmap> bitmap = makeBitmap(image.width, image.height);
  if (!bitmap) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_BGRA;
  if (!png_image_finish_read(&image, nullptr, bitmap->pixels.data(), 0, nullptr)) {
    return std::nullopt;
  }
  return bitmap;
}
