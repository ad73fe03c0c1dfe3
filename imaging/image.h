// The imaging API the picture view uses: sniffing, decoding encoded bytes to 32-bit pixels, blending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Top-down rows; each pixel 0xAARRGGBB (in memory on little-endian: B, G, R, A) with straight alpha.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

enum class ImageFormat { unknown, jpeg, bmp, png, ico, cur, gif, pcx8, pcx1 };

// Judged by the leading bytes only; fewer than 8 bytes is always unknown.
ImageFormat sniffFormat(const unsigned char* data, std::size_t size);

// nullopt when the bytes are of no known format, truncated, inconsistent or too large.
std::optional<Bitmap> decodeImage(const unsigned char* data, std::size_t size);

// The pixel budget: 16 Mi pixels (4096 x 4096, 64 MiB of pixels). The service sends a few hundred
// pixels square; in a 32-bit process a much larger single allocation is likely to fail anyway.
inline constexpr std::size_t kMaxPixels = 16 * 1024 * 1024;

// True when width x height is positive and within kMaxPixels, evaluated without overflow.
bool fitsPixelBudget(std::int64_t width, std::int64_t height);

// Every pixel with alpha below 255 becomes a/255*image + (1-a/255)*background per channel,
// truncated toward zero, and opaque.
void blendOver(Bitmap& image, unsigned char red, unsigned char green, unsigned char blue);
