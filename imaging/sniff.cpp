// Format sniffing from the first eight bytes.
#include "imaging/decoders.h"

#include <cstring>

namespace {

bool startsWith(const unsigned char* data, const char* prefix, std::size_t length) {
  return std::memcmp(data, prefix, length) == 0;
}

}  // namespace

ImageFormat sniffFormat(const unsigned char* data, std::size_t size) {
  if (data == nullptr || size < 8) {
    return ImageFormat::unknown;
  }
  if (data[0] == 0xFF && data[1] == 0xD8) {
    return ImageFormat::jpeg;
  }
  if (data[0] == 0x42 && data[1] == 0x4D) {
    return ImageFormat::bmp;
  }
  if (startsWith(data, "\x89PNG", 4)) {
    return ImageFormat::png;
  }
  if (startsWith(data, "\0\0\1\0", 4) && readLe16(data + 4) > 0) {
    return ImageFormat::ico;
  }
  if (startsWith(data, "\0\0\2\0", 4) && readLe16(data + 4) > 0) {
    return ImageFormat::cur;
  }
  if (startsWith(data, "GIF87a", 6) || startsWith(data, "GIF89a", 6)) {
    return ImageFormat::gif;
  }
  if (data[0] == 0x0A && data[1] <= 5 && data[2] == 0x01 && data[3] == 0x08) {
    return ImageFormat::pcx8;
  }
  if (data[0] == 0x0A && data[1] == 0x03 && data[2] == 0x01 && data[3] == 0x01) {
    return ImageFormat::pcx1;
  }
  return ImageFormat::unknown;
}
