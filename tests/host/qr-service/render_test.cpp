// Rendered images read back by a real QR decoder, their sizes, quiet zone and capacity limit.
#include <gtest/gtest.h>

#include "image_decode.h"
#include "query.h"
#include "render.h"

namespace qrservice {

void PrintTo(ImageFormat format, std::ostream* out) { *out << (format == ImageFormat::png ? "png" : "jpeg"); }

}  // namespace qrservice

using qrservice::ImageFormat;
using qrservice::RenderStatus;
using qrservice::renderQr;

namespace {

struct RoundTrip {
    const char* name;
    std::string_view sent;      // the text parameter as it appears in the query
    std::string_view expected;  // what the symbol must hold
    bool utf8 = true;           // whether a reader told to expect UTF-8 shows expected as its text
};

const RoundTrip roundTrips[] = {
    {"ascii", "Hello%2C%20world%21", "Hello, world!"},
    {"plusIsSpace", "two+words", "two words"},
    {"escapedPlus", "one%2Bword", "one+word"},
    {"hash", "%23hashtag", "#hashtag"},
    {"cjk", "%E4%B8%AD%E6%96%87%E5%AF%86%E7%A0%81", "中文密码"},
    {"emoji", "%F0%9F%93%B6wifi", "📶wifi"},
    {"wifiEscaped", "WIFI%3AT%3AWPA%3BP%3Aa%5C%3Bb%3BS%3Ax%5C%3Ay%3B%3B", "WIFI:T:WPA;P:a\\;b;S:x\\:y;;"},
    {"wifiAsSent", "WIFI:T:WPA;P:a\\;b;S:x\\:y;;", "WIFI:T:WPA;P:a\\;b;S:x\\:y;;"},
    {"wifiCjk", "WIFI%3AT%3AWPA%3BS%3A%E5%AE%B6%3BP%3A%E5%AF%86%E7%A0%81%5C%2C1%3B%3B",
     "WIFI:T:WPA;S:家;P:密码\\,1;;"},
    {"notUtf8", "%FF%00%80%C3", std::string_view("\xff\0\x80\xc3", 4), false},
};

void PrintTo(const RoundTrip& trip, std::ostream* out) { *out << trip.name; }

class RenderRoundTrip : public testing::TestWithParam<std::tuple<RoundTrip, ImageFormat>> {};

TEST_P(RenderRoundTrip, DecoderReadsExactlyTheDecodedQueryValue) {
    const auto& [trip, format] = GetParam();
    auto query = qrservice::parseApiQuery("&w=200&text=" + std::string(trip.sent));
    ASSERT_TRUE(query.has_value());
    ASSERT_EQ(query->text, trip.expected);

    auto rendered = renderQr(*query->text, query->width, format);
    ASSERT_EQ(rendered.status, RenderStatus::ok);
    auto image = decodeImage(rendered.bytes);
    ASSERT_TRUE(image.has_value());
    auto reading = readQr(*image);
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(reading->bytes, trip.expected);
    EXPECT_FALSE(reading->hasEci);
    EXPECT_EQ(reading->ecLevel, "M");
    if (trip.utf8) {
        EXPECT_EQ(reading->utf8, trip.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, RenderRoundTrip,
                         testing::Combine(testing::ValuesIn(roundTrips),
                                          testing::Values(ImageFormat::png, ImageFormat::jpeg)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == ImageFormat::png ? "Png" : "Jpeg");
                         });

// Version 1 at level M holds 14 bytes: 21 modules plus 4 of quiet zone on each side.
constexpr std::string_view versionOneText = "Hello";
constexpr int versionOneModules = 29;
// 2331 bytes is the 8-bit capacity of version 40 at level M: 177 + 8 modules.
const std::string versionFortyText(2331, 'a');
constexpr int versionFortyModules = 185;

struct Size {
    const char* name;
    const std::string* text;
    int width;
    int modules;
    int pixels;
};

const std::string versionOne(versionOneText);

const Size sizes[] = {
    {"exactMultiple", &versionOne, 29 * 6, versionOneModules, 29 * 6},
    {"roundsDownToWholeModules", &versionOne, 200, versionOneModules, 29 * 6},
    {"onePixelPerModule", &versionOne, 57, versionOneModules, 29},
    {"symbolWiderThanWidth", &versionFortyText, 120, versionFortyModules, 185},
    {"largestSymbolLargestWidth", &versionFortyText, 1000, versionFortyModules, 185 * 5},
};

void PrintTo(const Size& size, std::ostream* out) { *out << size.name; }

class RenderSize : public testing::TestWithParam<std::tuple<Size, ImageFormat>> {};

TEST_P(RenderSize, ImageIsWholeModulesWithinTheWidth) {
    const auto& [size, format] = GetParam();
    auto rendered = renderQr(*size.text, size.width, format);
    ASSERT_EQ(rendered.status, RenderStatus::ok);
    EXPECT_EQ(rendered.modules, size.modules);
    EXPECT_EQ(rendered.pixels, size.pixels);
    auto image = decodeImage(rendered.bytes);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, size.pixels);
    EXPECT_EQ(image->height, size.pixels);
    auto reading = readQr(*image);
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(reading->bytes, *size.text);
}

INSTANTIATE_TEST_SUITE_P(Widths, RenderSize,
                         testing::Combine(testing::ValuesIn(sizes),
                                          testing::Values(ImageFormat::png, ImageFormat::jpeg)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == ImageFormat::png ? "Png" : "Jpeg");
                         });

TEST(RenderQuietZone, FourLightModulesSurroundTheSymbol) {
    auto rendered = renderQr("quiet zone", 300, ImageFormat::png);
    ASSERT_EQ(rendered.status, RenderStatus::ok);
    auto image = decodePng(rendered.bytes);
    ASSERT_TRUE(image.has_value());
    int scale = rendered.pixels / rendered.modules;
    int border = qrservice::quietZoneModules * scale;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            bool inBorder = x < border || y < border || x >= image->width - border || y >= image->height - border;
            if (inBorder) {
                ASSERT_EQ(image->at(x, y), 255) << x << "," << y;
            }
        }
    }
    // The finder patterns' outer corners are dark and sit right on the quiet zone.
    EXPECT_EQ(image->at(border, border), 0);
    EXPECT_EQ(image->at(image->width - border - 1, border), 0);
    EXPECT_EQ(image->at(border, image->height - border - 1), 0);
}

TEST(RenderCapacity, OneByteOverTheLargestSymbolIsTooLong) {
    EXPECT_EQ(renderQr(versionFortyText, 200, ImageFormat::png).status, RenderStatus::ok);
    std::string tooLong(2332, 'a');
    for (auto format : {ImageFormat::png, ImageFormat::jpeg}) {
        auto rendered = renderQr(tooLong, 200, format);
        EXPECT_EQ(rendered.status, RenderStatus::tooLong);
        EXPECT_TRUE(rendered.bytes.empty());
    }
    EXPECT_EQ(renderQr(std::string(8000, 'x'), 200, ImageFormat::png).status, RenderStatus::tooLong);
}

TEST(RenderEmpty, EmptyTextIsRefused) {
    EXPECT_EQ(renderQr("", 200, ImageFormat::png).status, RenderStatus::emptyText);
}

}  // namespace
