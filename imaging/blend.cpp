// Alpha blending of a decoded bitmap over a solid background colour.
#include "imaging/image.h"

namespace {

// a/255*image + (1-a/255)*background equals (a*image + (255-a)*background)/255 exactly, so integer
// division yields the truncated real value; floating point would drop to n-1 where the result is
// an integer n. The weighted mean of two bytes never leaves 0..255, so no clamping step is needed.
std::uint32_t blendChannel(std::uint32_t alpha, std::uint32_t image, std::uint32_t background) {
  return (alpha * image + (255 - alpha) * background) / 255;
}

}  // namespace

void blendOver(Bitmap& image, unsigned char red, unsigned char green, unsigned char blue) {
  for (std::uint32_t& pixel : image.pixels) {
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 255) {
      continue;
    }
    const std::uint32_t r = blendChannel(alpha, (pixel >> 16) & 0xFF, red);
    const std::uint32_t g = blendChannel(alpha, (pixel >> 8) & 0xFF, green);
    const std::uint32_t b = blendChannel(alpha, pixel & 0xFF, blue);
    pixel = 0xFF000000u | (r << 16) | (g << 8) | b;
  }
}
