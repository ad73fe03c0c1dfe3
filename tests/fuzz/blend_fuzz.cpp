// Fuzz harness: the first three bytes are a background colour, the rest an image decoded and
// blended over it; every result must be opaque and lie between the image and the background.
#include "imaging/image.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool between(std::uint32_t value, std::uint32_t a, std::uint32_t b) {
    return value >= std::min(a, b) && value <= std::max(a, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    std::optional<Bitmap> image = decodeImage(data + 3, size - 3);
    if (!image) {
        return 0;
    }
    const std::vector<std::uint32_t> before = image->pixels;
    blendOver(*image, data[0], data[1], data[2]);
    const std::uint32_t background[3] = {data[0], data[1], data[2]};
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::uint32_t result = image->pixels[i];
        if ((result >> 24) != 255) {
            std::abort();
        }
        for (int channel = 0; channel < 3; ++channel) {
            const int shift = 16 - 8 * channel;
            if (!between((result >> shift) & 0xFF, (before[i] >> shift) & 0xFF, background[channel])) {
                std::abort();
            }
        }
    }
    return 0;
}
