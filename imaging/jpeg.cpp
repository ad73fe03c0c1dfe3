// JPEG decoding (greyscale and colour) through libjpeg, with errors returned to our code.
#include "imaging/decoders.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

// A progressive stream may hold any number of scans and each one costs a pass over the whole
// image: far more than any real encoder writes would only keep a hostile stream busy.
constexpr int kMaxScans = 100;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void failDecode(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings mean corrupt or truncated data, which libjpeg would otherwise paper over with grey:
// for a code to be scanned, no picture beats a damaged one. Trace messages are ignored.
void onMessage(j_common_ptr cinfo, int level) {
  if (level < 0) {
    failDecode(cinfo);
  }
}

void onProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    failDecode(cinfo);
  }
}

// The setjmp frame: only trivially destructible locals here, the bitmap is owned by the caller and
// every libjpeg allocation (the row buffer included) is released by jpeg_destroy_decompress.
bool decodeInto(jpeg_decompress_struct& cinfo, ErrorManager& errors, jpeg_progress_mgr& progress,
                const unsigned char* data, std::size_t size, std::optional<Bitmap>& bitmap) {
  if (setjmp(errors.jump) != 0) {
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    return false;
  }
  if (!fitsPixelBudget(cinfo.image_width, cinfo.image_height)) {
    return false;
  }
  if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
    cinfo.out_color_space = JCS_GRAYSCALE;
  } else if (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB) {
    cinfo.out_color_space = JCS_RGB;
  } else {
    return false;
  }
  jpeg_start_decompress(&cinfo);
  bitmap = makeBitmap(cinfo.output_width, cinfo.output_height);
  if (!bitmap) {
    return false;
  }
  const int components = cinfo.output_components;
  const JDIMENSION width = cinfo.output_width;
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              width * static_cast<JDIMENSION>(components), 1);
  std::uint32_t* out = bitmap->pixels.data();
  while (cinfo.output_scanline < cinfo.output_height) {
    if (jpeg_read_scanlines(&cinfo, row, 1) != 1) {
      return false;
    }
    const JSAMPLE* in = row[0];
    for (JDIMENSION x = 0; x < width; ++x, in += components) {
      *out++ = components == 1 ? argb(255, in[0], in[0], in[0]) : argb(255, in[0], in[1], in[2]);
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

std::optional<Bitmap> decodeJpeg(const unsigned char* data, std::size_t size) {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = failDecode;
  errors.base.emit_message = onMessage;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = onProgress;
  std::optional<Bitmap> bitmap;
  const bool decoded = decodeInto(cinfo, errors, progress, data, size, bitmap);
  jpeg_destroy_decompress(&cinfo);
  if (!decoded) {
    return std::nullopt;
  }
  return bitmap;
}
