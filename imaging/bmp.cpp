// BMP files and ICO/CUR icons: device-independent bitmaps (uncompressed or bit fields) and icon PNGs.
#include "imaging/decoders.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::size_t kFileHeaderSize = 14;

// One colour channel of a bit-field pixel, scaled so that its largest value becomes 255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;
};

std::optional<Channel> channelFromMask(std::uint32_t mask) {
  Channel channel;
  channel.mask = mask;
  if (mask == 0) {
    return channel;
  }
  channel.shift = std::countr_zero(mask);
  channel.max = mask >> channel.shift;
  if ((channel.max & (channel.max + 1)) != 0) {
    return std::nullopt;
  }
  return channel;
}

unsigned channelValue(const Channel& channel, std::uint32_t pixel) {
  if (channel.max == 0) {
    return 0;
  }
  const std::uint64_t value = (pixel & channel.mask) >> channel.shift;
  return static_cast<unsigned>((value * 255 + channel.max / 2) / channel.max);
}

struct DibHeader {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  unsigned bitsPerPixel = 0;
  std::uint32_t compression = 0;
  std::size_t tableOffset = 0;  // where the palette (or the bit-field masks of a 40-byte header) start
  std::size_t paletteSize = 0;
  Channel red, green, blue, alpha;
  bool hasAlpha = false;
};

bool knownHeaderSize(std::uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

std::optional<DibHeader> readDibHeader(const unsigned char* dib, std::size_t size, bool icon) {
  if (size < 4) {
    return std::nullopt;
  }
  const std::uint32_t headerSize = readLe32(dib);
  if (!knownHeaderSize(headerSize) || headerSize > size) {
    return std::nullopt;
  }
  DibHeader header;
  header.width = static_cast<std::int32_t>(readLe32(dib + 4));
  header.height = static_cast<std::int32_t>(readLe32(dib + 8));
  header.bitsPerPixel = readLe16(dib + 14);
  header.compression = readLe32(dib + 16);
  const std::uint32_t colorsUsed = readLe32(dib + 32);
  if (readLe16(dib + 12) != 1) {
    return std::nullopt;
  }
  if (header.height < 0) {
    header.topDown = true;
    header.height = -header.height;
  }
  if (icon) {
    // An icon's height covers the colour bitmap and the AND mask below it.
    if (header.topDown || header.height % 2 != 0) {
      return std::nullopt;
    }
    header.height /= 2;
  }
  if (!fitsPixelBudget(header.width, header.height)) {
    return std::nullopt;
  }
  const unsigned bpp = header.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    return std::nullopt;
  }
  header.tableOffset = headerSize;
  if (header.compression == kBiBitfields) {
    if (bpp != 16 && bpp != 32) {
      return std::nullopt;
    }
    const unsigned char* masks = dib + 40;
    if (headerSize == 40) {
      if (size < 52) {
        return std::nullopt;
      }
      header.tableOffset = 52;
    }
    const std::uint32_t alphaMask = headerSize >= 56 ? readLe32(dib + 52) : 0;
    auto red = channelFromMask(readLe32(masks));
    auto green = channelFromMask(readLe32(masks + 4));
    auto blue = channelFromMask(readLe32(masks + 8));
    auto alpha = channelFromMask(alphaMask);
    if (!red || !green || !blue || !alpha) {
      return std::nullopt;
    }
    header.red = *red;
    header.green = *green;
    header.blue = *blue;
    header.alpha = *alpha;
    header.hasAlpha = alphaMask != 0;
  } else if (header.compression == kBiRgb) {
    if (bpp == 16) {
      header.red = *channelFromMask(0x7C00);
      header.green = *channelFromMask(0x03E0);
      header.blue = *channelFromMask(0x001F);
    } else if (bpp == 32) {
      header.red = *channelFromMask(0x00FF0000);
      header.green = *channelFromMask(0x0000FF00);
      header.blue = *channelFromMask(0x000000FF);
      header.alpha = *channelFromMask(0xFF000000);
      header.hasAlpha = true;
    }
  } else {
    return std::nullopt;
  }
  if (bpp <= 8) {
    const std::size_t fullPalette = std::size_t{1} << bpp;
    if (colorsUsed > fullPalette) {
      return std::nullopt;
    }
    header.paletteSize = colorsUsed == 0 ? fullPalette : colorsUsed;
    if (header.paletteSize * 4 > size - header.tableOffset) {
      return std::nullopt;
    }
  }
  return header;
}

// A short palette leaves some indices without a colour; black keeps the rest of the picture usable.
std::uint32_t paletteColor(const DibHeader& header, const unsigned char* dib, unsigned index) {
  if (index >= header.paletteSize) {
    return argb(255, 0, 0, 0);
  }
  const unsigned char* entry = dib + header.tableOffset + std::size_t{index} * 4;
  return argb(255, entry[2], entry[1], entry[0]);
}

std::uint32_t decodePixel(const DibHeader& header, const unsigned char* dib, const unsigned char* row, std::int64_t x) {
  switch (header.bitsPerPixel) {
    case 1:
      return paletteColor(header, dib, (row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
      return paletteColor(header, dib, (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF);
    case 8:
      return paletteColor(header, dib, row[x]);
    case 24:
      return argb(255, row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default:
      break;
  }
  const std::uint32_t value = header.bitsPerPixel == 16 ? readLe16(row + x * 2) : readLe32(row + x * 4);
  const unsigned alpha = header.hasAlpha ? channelValue(header.alpha, value) : 255;
  return argb(alpha, channelValue(header.red, value), channelValue(header.green, value),
              channelValue(header.blue, value));
}

std::uint64_t rowStride(std::int64_t width, unsigned bitsPerPixel) {
  return (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

bool allTransparent(const Bitmap& bitmap) {
  for (std::uint32_t pixel : bitmap.pixels) {
    if ((pixel >> 24) != 0) {
      return false;
    }
  }
  return true;
}

// pixelOffset is measured from the start of the DIB header; for an icon the colour bitmap follows
// the palette and the AND mask follows the colour bitmap.
std::optional<Bitmap> decodeDib(const unsigned char* dib, std::size_t size, std::optional<std::size_t> pixelOffset,
                                bool icon) {
  const std::optional<DibHeader> header = readDibHeader(dib, size, icon);
  if (!header) {
    return std::nullopt;
  }
  const std::size_t offset = pixelOffset ? *pixelOffset : header->tableOffset + header->paletteSize * 4;
  const std::uint64_t stride = rowStride(header->width, header->bitsPerPixel);
  const std::uint64_t maskStride = icon ? rowStride(header->width, 1) : 0;
  const std::uint64_t rows = static_cast<std::uint64_t>(header->height);
  if (offset < header->tableOffset || offset > size || (stride + maskStride) * rows > size - offset) {
    return std::nullopt;
  }
  std::optional<Bitmap> bitmap = makeBitmap(header->width, header->height);
  if (!bitmap) {
    return std::nullopt;
  }
  const std::size_t width = static_cast<std::size_t>(header->width);
  for (std::uint64_t r = 0; r < rows; ++r) {
    const unsigned char* row = dib + offset + r * stride;
    const std::uint64_t y = header->topDown ? r : rows - 1 - r;
    std::uint32_t* out = bitmap->pixels.data() + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = decodePixel(*header, dib, row, static_cast<std::int64_t>(x));
    }
  }
  const bool alphaUnused = !header->hasAlpha || allTransparent(*bitmap);
  if (alphaUnused) {
    // Writers commonly leave the fourth byte of 32-bit pixels zero: that means opaque, not invisible.
    for (std::uint32_t& pixel : bitmap->pixels) {
      pixel |= 0xFF000000u;
    }
  }
  if (icon && alphaUnused) {
    const unsigned char* mask = dib + offset + stride * rows;
    for (std::uint64_t r = 0; r < rows; ++r) {
      const unsigned char* row = mask + r * maskStride;
      std::uint32_t* out = bitmap->pixels.data() + (rows - 1 - r) * width;
      for (std::size_t x = 0; x < width; ++x) {
        if ((row[x / 8] >> (7 - x % 8)) & 1) {
          out[x] &= 0x00FFFFFFu;
        }
      }
    }
  }
  return bitmap;
}

}  // namespace

std::optional<Bitmap> decodeBmp(const unsigned char* data, std::size_t size) {
  if (size < kFileHeaderSize || data[0] != 'B' || data[1] != 'M') {
    return std::nullopt;
  }
  const std::uint32_t pixelOffset = readLe32(data + 10);
  if (pixelOffset < kFileHeaderSize) {
    return std::nullopt;
  }
  return decodeDib(data + kFileHeaderSize, size - kFileHeaderSize, pixelOffset - kFileHeaderSize, false);
}

std::optional<Bitmap> decodeIcon(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kDirectorySize = 6;
  constexpr std::size_t kEntrySize = 16;
  if (size < kDirectorySize || readLe16(data) != 0) {
    return std::nullopt;
  }
  const unsigned type = readLe16(data + 2);
  const std::size_t count = readLe16(data + 4);
  if ((type != 1 && type != 2) || count == 0 || count * kEntrySize > size - kDirectorySize) {
    return std::nullopt;
  }
  // The best entry is the largest; among icons of one size the deepest colour (for a cursor
  // that field holds the hot spot instead).
  const unsigned char* best = nullptr;
  std::uint64_t bestScore = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* entry = data + kDirectorySize + i * kEntrySize;
    const std::uint64_t width = entry[0] == 0 ? 256 : entry[0];
    const std::uint64_t height = entry[1] == 0 ? 256 : entry[1];
    const std::uint64_t depth = type == 1 ? readLe16(entry + 6) : 0;
    const std::uint64_t score = (width * height << 16) | depth;
    if (best == nullptr || score > bestScore) {
      best = entry;
      bestScore = score;
    }
  }
  const std::size_t length = readLe32(best + 8);
  const std::size_t offset = readLe32(best + 12);
  if (offset > size || length > size - offset) {
    return std::nullopt;
  }
  const unsigned char* image = data + offset;
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (length >= 8 && std::memcmp(image, kPngSignature, 8) == 0) {
    return decodePng(image, length);
  }
  return decodeDib(image, length, std::nullopt, true);
}
