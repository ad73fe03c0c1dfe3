// decodeImage: hands the bytes to the decoder of the sniffed format; the shared bitmap helpers.
#include "imaging/decoders.h"

#include <new>

bool fitsPixelBudget(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0 || width > std::int64_t{kMaxPixels} || height > std::int64_t{kMaxPixels}) {
    return false;
  }
  return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= kMaxPixels;
}

std::optional<Bitmap> makeBitmap(std::int64_t width, std::int64_t height, std::uint32_t fill) {
  if (!fitsPixelBudget(width, height)) {
    return std::nullopt;
  }
  Bitmap bitmap;
  bitmap.width = static_cast<int>(width);
  bitmap.height = static_cast<int>(height);
  // Within the budget the allocation can still fail in a fragmented 32-bit address space.
  try {
    bitmap.pixels.assign(static_cast<std::size_t>(width * height), fill);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return bitmap;
}

std::optional<Bitmap> decodeImage(const unsigned char* data, std::size_t size) {
  switch (sniffFormat(data, size)) {
    case ImageFormat::png:
      return decodePng(data, size);
    case ImageFormat::jpeg:
      return decodeJpeg(data, size);
    case ImageFormat::bmp:
      return decodeBmp(data, size);
    case ImageFormat::ico:
    case ImageFormat::cur:
      return decodeIcon(data, size);
    case ImageFormat::gif:
      return decodeGif(data, size);
    case ImageFormat::pcx8:
    case ImageFormat::pcx1:
      return decodePcx(data, size);
    case ImageFormat::unknown:
      break;
  }
  return std::nullopt;
}
