// The per-format decoders behind decodeImage, and the helpers they share.
#pragma once

#include "imaging/image.h"

std::optional<Bitmap> decodePng(const unsigned char* data, std::size_t size);
std::optional<Bitmap> decodeJpeg(const unsigned char* data, std::size_t size);
std::optional<Bitmap> decodeBmp(const unsigned char* data, std::size_t size);
std::optional<Bitmap> decodeIcon(const unsigned char* data, std::size_t size);  // ICO and CUR
std::optional<Bitmap> decodeGif(const unsigned char* data, std::size_t size);
std::optional<Bitmap> decodePcx(const unsigned char* data, std::size_t size);

// A bitmap of the given size with every pixel set to fill; nullopt when outside the pixel budget.
std::optional<Bitmap> makeBitmap(std::int64_t width, std::int64_t height, std::uint32_t fill = 0);

inline std::uint32_t argb(unsigned alpha, unsigned red, unsigned green, unsigned blue) {
  return (std::uint32_t{alpha} << 24) | (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | std::uint32_t{blue};
}

inline std::uint16_t readLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLe32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
