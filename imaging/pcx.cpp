// PCX decoding: run-length encoded 8 bits per pixel with the 256-colour palette at the end, and 1 bit.
#include "imaging/decoders.h"

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteSize = 1 + 256 * 3;  // a 0x0C marker, then 256 RGB triples
constexpr unsigned char kPaletteMarker = 0x0C;

// Runs may continue from one scan line into the next, so the state lives across lines.
struct RunLengthReader {
  const unsigned char* next;
  const unsigned char* end;
  unsigned pending = 0;
  unsigned char value = 0;

  bool read(unsigned char& out) {
    while (pending == 0) {
      if (next == end) {
        return false;
      }
      const unsigned char byte = *next++;
      if ((byte & 0xC0) != 0xC0) {
        out = byte;
        return true;
      }
      if (next == end) {
        return false;
      }
      pending = byte & 0x3F;
      value = *next++;
    }
    --pending;
    out = value;
    return true;
  }
};

}  // namespace

std::optional<Bitmap> decodePcx(const unsigned char* data, std::size_t size) {
  if (size < kHeaderSize || data[0] != 0x0A || data[2] != 1 || data[65] != 1) {
    return std::nullopt;
  }
  const unsigned bitsPerPixel = data[3];
  if (bitsPerPixel != 8 && bitsPerPixel != 1) {
    return std::nullopt;
  }
  const int xMin = readLe16(data + 4);
  const int yMin = readLe16(data + 6);
  const int xMax = readLe16(data + 8);
  const int yMax = readLe16(data + 10);
  const std::size_t bytesPerLine = readLe16(data + 66);
  const std::int64_t width = std::int64_t{xMax} - xMin + 1;
  const std::int64_t height = std::int64_t{yMax} - yMin + 1;
  if (!fitsPixelBudget(width, height) || bytesPerLine < (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8) {
    return std::nullopt;
  }
  const unsigned char* palette = nullptr;
  std::size_t encodedEnd = size;
  if (bitsPerPixel == 8) {
    if (size < kHeaderSize + kPaletteSize || data[size - kPaletteSize] != kPaletteMarker) {
      return std::nullopt;
    }
    encodedEnd = size - kPaletteSize;
    palette = data + encodedEnd + 1;
  }
  std::optional<Bitmap> bitmap = makeBitmap(width, height);
  if (!bitmap) {
    return std::nullopt;
  }
  RunLengthReader reader{data + kHeaderSize, data + encodedEnd};
  std::vector<unsigned char> line(bytesPerLine);
  std::uint32_t* out = bitmap->pixels.data();
  for (std::int64_t y = 0; y < height; ++y) {
    for (unsigned char& byte : line) {
      if (!reader.read(byte)) {
        return std::nullopt;
      }
    }
    for (std::int64_t x = 0; x < width; ++x) {
      if (bitsPerPixel == 8) {
        const unsigned char* rgb = palette + std::size_t{line[x]} * 3;
        *out++ = argb(255, rgb[0], rgb[1], rgb[2]);
      } else {
        const bool white = (line[x / 8] >> (7 - x % 8)) & 1;
        *out++ = white ? argb(255, 255, 255, 255) : argb(255, 0, 0, 0);
      }
    }
  }
  return bitmap;
}
