// PNG decoding through libpng's simplified read-from-memory interface.
#include "imaging/decoders.h"

#include <bit>
#include <png.h>

// PNG_FORMAT_BGRA writes the bytes B, G, R, A: our 0xAARRGGBB only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

std::optional<Bitmap> decodePng(const unsigned char* data, std::size_t size) {
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
