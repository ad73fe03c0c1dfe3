// Benchmark, not a test: prints how long decoding takes and how far peak memory grows, for hostile
// headers (which must be refused at once) and for the largest images the pixel budget admits.
#include "imaging/image.h"
#include "tests/host/imaging/hostile_inputs.h"

#include <chrono>
#include <cstdio>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>

namespace {

constexpr int kSide = 4096;  // 4096 x 4096 is exactly kMaxPixels

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

unsigned char shade(int x, int y) {
    return static_cast<unsigned char>((x / 64 + y / 64) % 2 == 0 ? 20 : 230);
}

Bytes largePng() {
    std::vector<unsigned char> rgba(std::size_t{kSide} * kSide * 4);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            unsigned char* p = &rgba[(std::size_t{static_cast<unsigned>(y)} * kSide + x) * 4];
            p[0] = p[1] = p[2] = shade(x, y);
            p[3] = static_cast<unsigned char>(x);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = kSide;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    Bytes bytes(size);
    png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr);
    bytes.resize(size);
    return bytes;
}

Bytes largeJpeg(bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = cinfo.image_height = kSide;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(kSide * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < kSide; ++x) {
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = shade(x, static_cast<int>(cinfo.next_scanline));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

Bytes largeBmp() {
    const std::uint32_t stride = kSide * 3;
    Bytes bytes(54 + std::size_t{stride} * kSide);
    bytes[0] = 'B';
    bytes[1] = 'M';
    hostile::putLe32(bytes, 10, 54);
    hostile::putLe32(bytes, 14, 40);
    hostile::putLe32(bytes, 18, kSide);
    hostile::putLe32(bytes, 22, kSide);
    hostile::putLe16(bytes, 26, 1);
    hostile::putLe16(bytes, 28, 24);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide * 3; ++x) {
            bytes[54 + std::size_t{stride} * y + x] = shade(x / 3, y);
        }
    }
    return bytes;
}

int appendToBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* bytes = static_cast<Bytes*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + length);
    return length;
}

Bytes largeGif() {
    Bytes bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendToBytes, &error);
    GifColorType colours[2] = {{20, 20, 20}, {230, 230, 230}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, kSide, kSide, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr);
    std::vector<GifPixelType> line(kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            line[x] = shade(x, y) > 100 ? 1 : 0;
        }
        EGifPutLine(gif, line.data(), kSide);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

Bytes largePcx() {
    Bytes bytes(128);
    bytes[0] = 0x0A;
    bytes[1] = 5;
    bytes[2] = 1;
    bytes[3] = 8;
    hostile::putLe16(bytes, 8, kSide - 1);
    hostile::putLe16(bytes, 10, kSide - 1);
    bytes[65] = 1;
    hostile::putLe16(bytes, 66, kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; x += 64) {
            const unsigned char value = shade(x, y);
            bytes.insert(bytes.end(), {0xC0 | 63, value, 0xC1, value});
        }
    }
    bytes.push_back(0x0C);
    for (int i = 0; i < 256; ++i) {
        bytes.insert(bytes.end(), {static_cast<unsigned char>(i), static_cast<unsigned char>(i),
                                   static_cast<unsigned char>(i)});
    }
    return bytes;
}

void measure(const char* name, const Bytes& bytes) {
    double best = 1e9;
    bool decoded = false;
    const long rssBefore = peakRssKb();
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        decoded = decodeImage(bytes.data(), bytes.size()).has_value();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("%-34s %10zu bytes  %-8s %10.3f ms  peak RSS +%ld KiB\n", name, bytes.size(),
                decoded ? "decoded" : "refused", best, peakRssKb() - rssBefore);
}

}  // namespace

int main() {
    std::printf("pixel budget %zu pixels\n", kMaxPixels);
    for (const hostile::HostileCase& c : hostile::kCases) {
        measure(c.name, c.make());
    }
    measure("bmp4096Square", largeBmp());
    measure("pcx8_4096Square", largePcx());
    measure("gif4096Square", largeGif());
    measure("png4096SquareAlpha", largePng());
    measure("jpeg4096Square", largeJpeg(false));
    measure("jpeg4096SquareProgressive", largeJpeg(true));
}
