// Decoding through libpng's simplified API, libjpeg's memory source and zxing-cpp.
#include "image_decode.h"

// text() as UTF-8 rather than the older wide string.
#define ZX_USE_UTF8

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <ZXing/ReadBarcode.h>

std::optional<GreyImage> decodePng(std::string_view file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return std::nullopt;
    image.format = PNG_FORMAT_GRAY;
    GreyImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

}  // namespace

std::optional<GreyImage> decodeJpeg(std::string_view file) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFail;
    GreyImage out;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.data()), file.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data() + static_cast<size_t>(info.output_scanline) * out.width;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

std::optional<GreyImage> decodeImage(std::string_view file) {
    if (file.substr(0, 8) == "\x89PNG\r\n\x1a\n") return decodePng(file);
    if (file.substr(0, 3) == "\xff\xd8\xff") return decodeJpeg(file);
    return std::nullopt;
}

std::optional<QrReading> readQr(const GreyImage& image) {
    ZXing::ImageView view(image.pixels.data(), image.width, image.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryHarder(true);
    hints.setCharacterSet("UTF-8");
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) return std::nullopt;
    QrReading reading;
    reading.bytes.assign(result.bytes().begin(), result.bytes().end());
    reading.utf8 = result.text();
    reading.ecLevel = result.ecLevel();
    reading.hasEci = result.hasECI();
    return reading;
}
