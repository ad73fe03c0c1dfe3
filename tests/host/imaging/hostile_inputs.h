// Encoded images whose headers claim enormous sizes, built from the fixtures by patching.
#pragma once

#include "tests/host/imaging/fixtures.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>

namespace hostile {

inline void putLe16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = value & 0xFF;
    bytes[offset + 1] = value >> 8;
}

inline void putLe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = (value >> (8 * i)) & 0xFF;
    }
}

inline void putBe16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = value >> 8;
    bytes[offset + 1] = value & 0xFF;
}

inline void putBe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = (value >> (8 * (3 - i))) & 0xFF;
    }
}

// IHDR follows the 8-byte signature; its CRC covers the type and the 13 data bytes.
inline Bytes hugePng() {
    Bytes bytes = readFixture("pattern.png");
    putBe32(bytes, 16, 100000);
    putBe32(bytes, 20, 100000);
    putBe32(bytes, 29, static_cast<std::uint32_t>(crc32(0, bytes.data() + 12, 17)));
    return bytes;
}

// A text chunk after IHDR that claims 1.6 GB: libpng alone would allocate all of it.
inline Bytes hugePngTextChunk() {
    const Bytes png = readFixture("pattern.png");
    Bytes bytes(png.begin(), png.begin() + 33);
    const Bytes chunk = {0x61, 0xB0, 0x00, 0x00, 't', 'E', 'X', 't', 'k', 'e', 'y', 0, 'v', 'a', 'l'};
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    bytes.insert(bytes.end(), png.begin() + 33, png.end());
    return bytes;
}

inline Bytes hugeJpeg() {
    Bytes bytes = readFixture("quadrants.jpg");
    for (std::size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            putBe16(bytes, i + 5, 65535);
            putBe16(bytes, i + 7, 65535);
            return bytes;
        }
    }
    return {};
}

inline Bytes hugeBmp(std::int32_t height) {
    Bytes bytes = readFixture("pattern-24.bmp");
    putLe32(bytes, 18, 100000);
    putLe32(bytes, 22, static_cast<std::uint32_t>(height));
    return bytes;
}

// Screen descriptor at 6; the image descriptor at 13 + 3 * 2^(1 + size bits) + 8 (the GCE).
inline Bytes hugeGif(bool screen, bool frame) {
    Bytes bytes = readFixture("pattern.gif");
    const std::size_t descriptor = 13 + 3 * (std::size_t{2} << (bytes[10] & 7)) + 8;
    if (screen) {
        putLe16(bytes, 6, 65535);
        putLe16(bytes, 8, 65535);
    }
    if (frame && bytes[descriptor] == 0x2C) {
        putLe16(bytes, descriptor + 5, 65535);
        putLe16(bytes, descriptor + 7, 65535);
    }
    return bytes;
}

inline Bytes hugePcx(const char* file) {
    Bytes bytes = readFixture(file);
    putLe16(bytes, 8, 65535);
    putLe16(bytes, 10, 65535);
    putLe16(bytes, 66, 65535);
    return bytes;
}

inline Bytes hugeIconEntry() {
    Bytes bytes = readFixture("masked.ico");
    const std::size_t dib = bytes[6 + 16 + 12] | (bytes[6 + 16 + 13] << 8);
    putLe32(bytes, dib + 4, 100000);
    putLe32(bytes, dib + 8, 200000);
    return bytes;
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> make;
};

inline void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

const HostileCase kCases[] = {
    {"png100000Square", hugePng},
    {"pngTextChunkClaims1_6GB", hugePngTextChunk},
    {"jpeg65535Square", hugeJpeg},
    {"bmp100000Square", [] { return hugeBmp(100000); }},
    {"bmp100000SquareTopDown", [] { return hugeBmp(-100000); }},
    {"bmpHeightMostNegative", [] { return hugeBmp(std::numeric_limits<std::int32_t>::min()); }},
    {"gifScreenAndFrame65535Square", [] { return hugeGif(true, true); }},
    {"gifScreen65535Square", [] { return hugeGif(true, false); }},
    {"gifFrame65535SquareOnSmallScreen", [] { return hugeGif(false, true); }},
    {"pcx8_65535Square", [] { return hugePcx("pattern.pcx"); }},
    {"pcx1_65535Square", [] { return hugePcx("mono.pcx"); }},
    {"icoEntry100000Square", hugeIconEntry},
};

}  // namespace hostile
