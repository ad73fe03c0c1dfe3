// PNG through libpng (1-bit grey) and JPEG through libjpeg (8-bit grey), one pixel row at a time.
#include "image_files.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <png.h>

namespace qrservice {

namespace {

void appendPngData(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// Expands module row y into one packed 1-bit row; in grey PNG, bit 1 is white.
void packPngRow(const ModuleGrid& grid, int y, std::vector<png_byte>& row) {
  std::fill(row.begin(), row.end(), 0);
  int pixels = grid.modules * grid.scale;
  for (int x = 0; x < pixels; ++x) {
    if (!grid.dark[y * grid.modules + x / grid.scale]) row[x / 8] |= 0x80 >> (x % 8);
  }
}

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// The library's default handler calls exit(): jump back to writeJpeg instead.
void jpegFail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

}  // namespace

std::string writePng(const ModuleGrid& grid) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return {};
  }
  int pixels = grid.modules * grid.scale;
  std::string out;
  std::vector<png_byte> row((pixels + 7) / 8);
  // Every object with a destructor exists before setjmp, so the jump skips none of them.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, appendPngData, flushNothing);
  png_set_IHDR(png, info, pixels, pixels, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < grid.modules; ++y) {
    packPngRow(grid, y, row);
    for (int repeat = 0; repeat < grid.scale; ++repeat) png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string writeJpeg(const ModuleGrid& grid, int quality) {
  jpeg_compress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jpegFail;
  errors.manager.emit_message = jpegQuiet;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  int pixels = grid.modules * grid.scale;
  std::vector<JSAMPLE> row(pixels);
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = pixels;
  info.image_height = pixels;
  info.input_components = 1;
  info.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < grid.modules; ++y) {
    for (int x = 0; x < pixels; ++x) row[x] = grid.dark[y * grid.modules + x / grid.scale] ? 0 : 255;
    JSAMPROW rows[1] = {row.data()};
    for (int repeat = 0; repeat < grid.scale; ++repeat) jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

}  // namespace qrservice
