// Decoding real files of every format: size and sample pixels, and refusal of truncated copies.
#include "imaging/image.h"
#include "tests/host/imaging/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sample {
    int x, y;
    std::uint32_t argb;
};

struct FixtureCase {
    const char* file;
    ImageFormat format;
    int width, height;
    int tolerance;  // per channel; lossy encodings only
    std::vector<Sample> samples;
};

constexpr std::uint32_t kRed = 0xFFFF0000, kLime = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kClear = 0x00000000;

// The 7x5 gradient drawn by make-fixtures.py: marked corners, a black centre, gradient elsewhere.
const std::vector<Sample> kPattern = {{0, 0, kRed},   {6, 0, kLime},       {0, 4, kBlue},
                                      {6, 4, kWhite}, {3, 2, kBlack},      {1, 1, 0xFF323C64},
                                      {5, 3, 0xFFAA8C64}, {6, 1, 0xFFC83C64}};
const std::vector<Sample> kFourColours = {{0, 0, kRed},   {6, 0, kLime},  {0, 4, kBlue},
                                          {3, 2, kBlack}, {6, 4, kWhite}, {1, 1, kWhite}};
// Black where x + y is a multiple of 3.
const std::vector<Sample> kMono = {{0, 0, kBlack}, {1, 0, kWhite}, {2, 1, kBlack},
                                   {6, 4, kWhite}, {5, 4, kBlack}, {6, 0, kBlack}};
const std::vector<Sample> kQuadrants = {{3, 3, kRed}, {12, 3, kLime}, {3, 12, kBlue}, {12, 12, kWhite}};

const FixtureCase kFixtures[] = {
    {"pattern.png", ImageFormat::png, 7, 5, 0, kPattern},
    {"alpha.png", ImageFormat::png, 6, 1, 0, {{2, 0, 0x4D0AF082}, {5, 0, 0xFF5A1EDC}, {3, 0, 0x80FFFFFF}}},
    {"quadrants.jpg", ImageFormat::jpeg, 16, 16, 12, kQuadrants},
    {"quadrants-progressive.jpg", ImageFormat::jpeg, 16, 16, 12, kQuadrants},
    {"grey.jpg", ImageFormat::jpeg, 16, 16, 6,
     {{3, 3, 0xFF000000}, {12, 3, 0xFF555555}, {3, 12, 0xFFAAAAAA}, {12, 12, 0xFFFFFFFF}}},
    {"pattern-24.bmp", ImageFormat::bmp, 7, 5, 0, kPattern},
    {"pattern-24-topdown.bmp", ImageFormat::bmp, 7, 5, 0, kPattern},
    {"pattern-8.bmp", ImageFormat::bmp, 7, 5, 0, kPattern},
    {"four-4.bmp", ImageFormat::bmp, 7, 5, 0, kFourColours},
    {"mono-1.bmp", ImageFormat::bmp, 7, 5, 0, kMono},
    {"pattern-32.bmp", ImageFormat::bmp, 7, 5, 0, kPattern},
    {"pattern-565.bmp", ImageFormat::bmp, 7, 5, 8, kPattern},
    // The 7x5 entry wins over 3x3 and over an equal-sized entry of lower depth; its AND mask
    // clears (1, 0) and (3, 2).
    {"masked.ico", ImageFormat::ico, 7, 5, 0,
     {{0, 0, kRed}, {1, 0, 0x00FFFFFF}, {3, 2, kClear}, {6, 0, kLime}, {0, 4, kBlue}, {2, 0, kWhite}}},
    {"png-entry.ico", ImageFormat::ico, 7, 5, 0, kPattern},
    {"pattern.cur", ImageFormat::cur, 7, 5, 0, kPattern},
    {"pattern.gif", ImageFormat::gif, 7, 5, 0, kPattern},
    // A 7x5 interlaced frame at (1, 1) of a 9x7 screen, its centre pixel transparent.
    {"offset-interlaced.gif", ImageFormat::gif, 9, 7, 0,
     {{0, 0, kClear}, {8, 6, kClear}, {1, 1, kRed}, {7, 1, kLime}, {1, 5, kBlue}, {7, 5, kWhite},
      {4, 3, kClear}, {2, 2, 0xFF323C64}, {6, 4, 0xFFAA8C64}}},
    // A 7x5 frame at (4, 4) of a 9x7 screen: what falls outside the screen is cut off.
    {"clipped.gif", ImageFormat::gif, 9, 7, 0,
     {{0, 0, kClear}, {3, 3, kClear}, {4, 4, kRed}, {8, 4, 0xFF8C1464}, {8, 6, 0xFF8C6464}, {4, 6, 0xFF146464}}},
    {"pattern.pcx", ImageFormat::pcx8, 7, 5, 0, kPattern},
    {"mono.pcx", ImageFormat::pcx1, 7, 5, 0, kMono},
};

void PrintTo(const FixtureCase& c, std::ostream* os) {
    *os << c.file;
}

bool closeEnough(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = (actual >> shift) & 0xFF;
        const int e = (expected >> shift) & 0xFF;
        if (std::abs(a - e) > tolerance) {
            return false;
        }
    }
    return true;
}

class FixtureTest : public testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureTest, DecodesSizeAndPixels) {
    const FixtureCase& c = GetParam();
    const Bytes bytes = readFixture(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    EXPECT_EQ(sniffFormat(bytes.data(), bytes.size()), c.format);
    const std::optional<Bitmap> bitmap = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(bitmap.has_value());
    ASSERT_EQ(bitmap->width, c.width);
    ASSERT_EQ(bitmap->height, c.height);
    ASSERT_EQ(bitmap->pixels.size(), static_cast<std::size_t>(c.width) * c.height);
    for (const Sample& s : c.samples) {
        const std::uint32_t actual = bitmap->pixels[static_cast<std::size_t>(s.y) * c.width + s.x];
        EXPECT_TRUE(closeEnough(actual, s.argb, c.tolerance))
            << "pixel (" << s.x << ", " << s.y << ") is " << std::hex << actual << ", expected " << s.argb;
    }
}

// Every cut in the first three quarters removes pixel data, a palette, a table or the end marker.
TEST_P(FixtureTest, TruncatedCopiesAreUndecodable) {
    const Bytes bytes = readFixture(GetParam().file);
    ASSERT_FALSE(bytes.empty());
    for (std::size_t length = 0; length <= bytes.size() * 3 / 4; ++length) {
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(decodeImage(cut.data(), cut.size()).has_value()) << "cut at " << length;
    }
}

std::string fixtureName(const testing::TestParamInfo<FixtureCase>& info) {
    std::string name;
    for (const char* p = info.param.file; *p != '\0'; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Formats, FixtureTest, testing::ValuesIn(kFixtures), fixtureName);

// Single-field changes that make a valid BMP inconsistent or unsupported.
struct BmpPatch {
    const char* name;
    const char* file;
    std::size_t offset;
    std::vector<unsigned char> bytes;
};

void PrintTo(const BmpPatch& c, std::ostream* os) {
    *os << c.name;
}

class BmpPatchTest : public testing::TestWithParam<BmpPatch> {};

TEST_P(BmpPatchTest, IsUndecodable) {
    Bytes bytes = readFixture(GetParam().file);
    ASSERT_GE(bytes.size(), GetParam().offset + GetParam().bytes.size());
    std::copy(GetParam().bytes.begin(), GetParam().bytes.end(), bytes.begin() + GetParam().offset);
    EXPECT_FALSE(decodeImage(bytes.data(), bytes.size()).has_value());
}

const BmpPatch kBmpPatches[] = {
    {"runLengthCompression", "pattern-8.bmp", 30, {1, 0, 0, 0}},
    {"twoBitsPerPixel", "four-4.bmp", 28, {2, 0}},
    {"moreColoursThanTheDepthAllows", "four-4.bmp", 46, {17, 0, 0, 0}},
    {"coreHeader", "pattern-24.bmp", 14, {12, 0, 0, 0}},
    {"zeroPlanes", "pattern-24.bmp", 26, {0, 0}},
    {"zeroWidth", "pattern-24.bmp", 18, {0, 0, 0, 0}},
    {"negativeWidth", "pattern-24.bmp", 18, {0xF9, 0xFF, 0xFF, 0xFF}},
    {"pixelsBeyondTheEnd", "pattern-24.bmp", 10, {0x37, 0, 0, 0}},
    {"pixelsInsideTheHeader", "pattern-24.bmp", 10, {0x0E, 0, 0, 0}},
    {"interleavedColourMasks", "pattern-565.bmp", 54, {0x55, 0x55, 0, 0}},
};

INSTANTIATE_TEST_SUITE_P(Table, BmpPatchTest, testing::ValuesIn(kBmpPatches),
                         [](const testing::TestParamInfo<BmpPatch>& info) { return info.param.name; });

// Real files of variants the decoders refuse rather than show wrongly.
TEST(DecodeTest, UnsupportedVariantsAreUndecodable) {
    for (const char* file : {"cmyk.jpg", "run-length-8.bmp"}) {
        const Bytes bytes = readFixture(file);
        ASSERT_FALSE(bytes.empty()) << file;
        EXPECT_NE(sniffFormat(bytes.data(), bytes.size()), ImageFormat::unknown) << file;
        EXPECT_FALSE(decodeImage(bytes.data(), bytes.size()).has_value()) << file;
    }
}

TEST(IconTest, DirectoryLongerThanTheFileIsUndecodable) {
    Bytes bytes = readFixture("masked.ico");
    bytes[4] = 200;
    EXPECT_FALSE(decodeImage(bytes.data(), bytes.size()).has_value());
}

TEST(DecodeTest, UnknownBytesAreUndecodable) {
    const Bytes text = {'<', 'h', 't', 'm', 'l', '>', 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'g'};
    EXPECT_FALSE(decodeImage(text.data(), text.size()).has_value());
    EXPECT_FALSE(decodeImage(nullptr, 0).has_value());
}

}  // namespace
