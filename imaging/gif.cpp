// GIF decoding through giflib: the first frame, placed on the logical screen.
#include "imaging/decoders.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <memory>

namespace {

struct MemoryReader {
  const unsigned char* data;
  std::size_t size;
  std::size_t position;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const std::size_t count = std::min(static_cast<std::size_t>(length), reader->size - reader->position);
  std::memcpy(buffer, reader->data + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Takes the colour key from a graphic control block (-1 when it has none); skips the rest.
bool readExtension(GifFileType* gif, int& transparentIndex) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
    return false;
  }
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    transparentIndex = (block[1] & 0x01) != 0 ? block[4] : -1;
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
      return false;
    }
  }
  return true;
}

std::optional<Bitmap> readFirstFrame(GifFileType* gif, int transparentIndex) {
  if (DGifGetImageDesc(gif) != GIF_OK) {
    return std::nullopt;
  }
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr || !fitsPixelBudget(frame.Width, frame.Height)) {
    return std::nullopt;
  }
  std::optional<Bitmap> screen = makeBitmap(gif->SWidth, gif->SHeight);
  if (!screen) {
    return std::nullopt;
  }
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  // An interlaced frame arrives as every 8th row from 0, every 8th from 4, every 4th from 2, then
  // every 2nd from 1.
  static const int kFirstRow[] = {0, 4, 2, 1};
  static const int kRowStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = frame.Interlace ? kRowStep[pass] : 1;
    for (int row = frame.Interlace ? kFirstRow[pass] : 0; row < frame.Height; row += step) {
      if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK) {
        return std::nullopt;
      }
      const int y = frame.Top + row;
      if (y >= screen->height) {
        continue;
      }
      std::uint32_t* out = screen->pixels.data() + static_cast<std::size_t>(y) * screen->width;
      for (int column = 0; column < frame.Width && frame.Left + column < screen->width; ++column) {
        const int index = line[static_cast<std::size_t>(column)];
        std::uint32_t& pixel = out[frame.Left + column];
        if (index == transparentIndex) {
          pixel = 0;
        } else if (index < colors->ColorCount) {
          const GifColorType& color = colors->Colors[index];
          pixel = argb(255, color.Red, color.Green, color.Blue);
        } else {
          // The code size may exceed the colour table; such a pixel has no colour of its
          // own, and black keeps the rest of the picture usable.
          pixel = argb(255, 0, 0, 0);
        }
      }
    }
  }
  return screen;
}

}  // namespace

std::optional<Bitmap> decodeGif(const unsigned char* data, std::size_t size) {
  MemoryReader reader{data, size, 0};
  int error = 0;
  GifHandle gif(DGifOpen(&reader, readFromMemory, &error));
  // The screen size is known before any pixel is read: refuse an oversized one right here.
  if (!gif || !fitsPixelBudget(gif->SWidth, gif->SHeight)) {
    return std::nullopt;
  }
  int transparentIndex = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) {
      return std::nullopt;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) {
      return readFirstFrame(gif.get(), transparentIndex);
    }
    if (record != EXTENSION_RECORD_TYPE || !readExtension(gif.get(), transparentIndex)) {
      return std::nullopt;
    }
  }
}
