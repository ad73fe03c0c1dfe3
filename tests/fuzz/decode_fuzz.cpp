// Fuzz harness: sniffing and decoding of arbitrary bytes, with the invariants of a decoded bitmap.
#include "imaging/image.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const ImageFormat format = sniffFormat(data, size);
    const std::optional<Bitmap> bitmap = decodeImage(data, size);
    if (!bitmap) {
        return 0;
    }
    if (format == ImageFormat::unknown || bitmap->width <= 0 || bitmap->height <= 0 ||
        static_cast<std::size_t>(bitmap->width) * static_cast<std::size_t>(bitmap->height) > kMaxPixels ||
        bitmap->pixels.size() != static_cast<std::size_t>(bitmap->width) * bitmap->height) {
        std::abort();
    }
    return 0;
}
