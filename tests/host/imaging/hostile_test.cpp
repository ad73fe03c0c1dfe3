// Headers that claim enormous images are refused before any pixel storage is allocated.
#include "imaging/image.h"
#include "tests/host/imaging/fixtures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>

// The largest single request to operator new since the last reset: pixel storage is the one large
// allocation a decoder makes through it, so a refused image must never ask for much.
static std::atomic<std::size_t> largestRequest{0};

void* operator new(std::size_t size) {
    std::size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// GCC cannot see that the operator new above is the one that allocated these blocks with malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

namespace {

void putLe16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = value & 0xFF;
    bytes[offset + 1] = value >> 8;
}

void putLe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = (value >> (8 * i)) & 0xFF;
    }
}

void putBe16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = value >> 8;
    bytes[offset + 1] = value & 0xFF;
}

void putBe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = (value >> (8 * (3 - i))) & 0xFF;
    }
}

// IHDR follows the 8-byte signature; its CRC covers the type and the 13 data bytes.
Bytes hugePng() {
    Bytes bytes = readFixture("pattern.png");
    putBe32(bytes, 16, 100000);
    putBe32(bytes, 20, 100000);
    putBe32(bytes, 29, static_cast<std::uint32_t>(crc32(0, bytes.data() + 12, 17)));
    return bytes;
}

Bytes hugeJpeg() {
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

Bytes hugeBmp(std::int32_t height) {
    Bytes bytes = readFixture("pattern-24.bmp");
    putLe32(bytes, 18, 100000);
    putLe32(bytes, 22, static_cast<std::uint32_t>(height));
    return bytes;
}

// Screen descriptor at 6; the image descriptor at 13 + 3 * 2^(1 + size bits) + 8 (the GCE).
Bytes hugeGif(bool screen, bool frame) {
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

Bytes hugePcx(const char* file) {
    Bytes bytes = readFixture(file);
    putLe16(bytes, 8, 65535);
    putLe16(bytes, 10, 65535);
    putLe16(bytes, 66, 65535);
    return bytes;
}

Bytes hugeIconEntry() {
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

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileTest, IsRefused) {
    const Bytes bytes = GetParam().make();
    ASSERT_GT(bytes.size(), 8u);
    largestRequest = 0;
    EXPECT_FALSE(decodeImage(bytes.data(), bytes.size()).has_value());
    EXPECT_LT(largestRequest.load(), std::size_t{1} << 20);
}

const HostileCase kHostile[] = {
    {"png100000Square", hugePng},
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

INSTANTIATE_TEST_SUITE_P(Table, HostileTest, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

struct BudgetCase {
    std::int64_t width, height;
    bool fits;
};

TEST(PixelBudgetTest, IsExactAndOverflowFree) {
    constexpr std::int64_t kBudget = static_cast<std::int64_t>(kMaxPixels);
    constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max();
    const BudgetCase cases[] = {
        {1, 1, true},           {4096, 4096, true},        {4097, 4096, false},
        {kBudget, 1, true},     {1, kBudget, true},        {kBudget + 1, 1, false},
        {0, 5, false},          {5, 0, false},             {-4, -4, false},
        {kHuge, kHuge, false},  {65536, 65536, false},     {4294967296, 4294967296, false},
    };
    for (const BudgetCase& c : cases) {
        EXPECT_EQ(fitsPixelBudget(c.width, c.height), c.fits) << c.width << " x " << c.height;
    }
}

}  // namespace
