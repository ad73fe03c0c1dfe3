// Sniffing: each row of the leading-bytes table, and the near misses that must stay unknown.
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SniffCase {
    const char* name;
    std::vector<unsigned char> bytes;
    ImageFormat expected;
};

void PrintTo(const SniffCase& c, std::ostream* os) {
    *os << c.name;
}

class SniffTest : public testing::TestWithParam<SniffCase> {};

TEST_P(SniffTest, RecognisesLeadingBytes) {
    const SniffCase& c = GetParam();
    EXPECT_EQ(sniffFormat(c.bytes.data(), c.bytes.size()), c.expected);
}

const SniffCase kCases[] = {
    {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F'}, ImageFormat::jpeg},
    {"bmp", {'B', 'M', 0x36, 0, 0, 0, 0, 0}, ImageFormat::bmp},
    {"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::png},
    {"ico", {0, 0, 1, 0, 1, 0, 16, 16}, ImageFormat::ico},
    {"icoCountHighByteOnly", {0, 0, 1, 0, 0, 1, 16, 16}, ImageFormat::ico},
    {"cur", {0, 0, 2, 0, 2, 0, 32, 32}, ImageFormat::cur},
    {"gif87a", {'G', 'I', 'F', '8', '7', 'a', 1, 0}, ImageFormat::gif},
    {"gif89a", {'G', 'I', 'F', '8', '9', 'a', 1, 0}, ImageFormat::gif},
    {"pcx8Version0", {0x0A, 0, 1, 8, 0, 0, 0, 0}, ImageFormat::pcx8},
    {"pcx8Version5", {0x0A, 5, 1, 8, 0, 0, 0, 0}, ImageFormat::pcx8},
    {"pcx1", {0x0A, 3, 1, 1, 0, 0, 0, 0}, ImageFormat::pcx1},
    {"gif88a", {'G', 'I', 'F', '8', '8', 'a', 1, 0}, ImageFormat::unknown},
    {"icoCountZero", {0, 0, 1, 0, 0, 0, 16, 16}, ImageFormat::unknown},
    {"curCountZero", {0, 0, 2, 0, 0, 0, 32, 32}, ImageFormat::unknown},
    {"iconTypeThree", {0, 0, 3, 0, 1, 0, 16, 16}, ImageFormat::unknown},
    {"pngThreeBytes", {0x89, 'P', 'N', 'F', 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::unknown},
    {"pcx8Version6", {0x0A, 6, 1, 8, 0, 0, 0, 0}, ImageFormat::unknown},
    {"pcx8Uncompressed", {0x0A, 5, 0, 8, 0, 0, 0, 0}, ImageFormat::unknown},
    {"pcx1Version5", {0x0A, 5, 1, 1, 0, 0, 0, 0}, ImageFormat::unknown},
    {"pcx4Bits", {0x0A, 3, 1, 4, 0, 0, 0, 0}, ImageFormat::unknown},
    {"jpegSevenBytes", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J'}, ImageFormat::unknown},
    {"gifSevenBytes", {'G', 'I', 'F', '8', '9', 'a', 1}, ImageFormat::unknown},
    {"empty", {}, ImageFormat::unknown},
    {"text", {'<', 'h', 't', 'm', 'l', '>', '\n', ' '}, ImageFormat::unknown},
};

INSTANTIATE_TEST_SUITE_P(Table, SniffTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SniffCase>& info) { return info.param.name; });

TEST(SniffTest, NullDataIsUnknown) {
    EXPECT_EQ(sniffFormat(nullptr, 0), ImageFormat::unknown);
}

}  // namespace
