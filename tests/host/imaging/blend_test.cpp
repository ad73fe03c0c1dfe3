// blendOver against the formula a/255*image + (1-a/255)*background, truncated, over whole tables.
#include "imaging/image.h"
#include "tests/host/imaging/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Written over the common denominator: the numerator is an exact integer, so the one rounding of
// the division cannot carry an integral result below itself. The textbook form
// alpha/255.0*image + (1-alpha/255.0)*background loses 1 in about 12,000 of the 16.7 million
// cases (alpha 5, image 3, background 3 gives 2.9999999999999996).
unsigned expectedChannel(unsigned alpha, unsigned image, unsigned background) {
    const double value = (alpha * double(image) + (255.0 - alpha) * background) / 255.0;
    return static_cast<unsigned>(std::clamp(value, 0.0, 255.0));
}

std::uint32_t expectedPixel(std::uint32_t pixel, unsigned red, unsigned green, unsigned blue) {
    const unsigned a = pixel >> 24;
    return 0xFF000000u | (expectedChannel(a, (pixel >> 16) & 0xFF, red) << 16) |
           (expectedChannel(a, (pixel >> 8) & 0xFF, green) << 8) | expectedChannel(a, pixel & 0xFF, blue);
}

TEST(BlendTest, MatchesTheFormulaForEveryAlphaAndSampleChannels) {
    const unsigned values[] = {0, 1, 2, 3, 5, 77, 127, 128, 200, 253, 254, 255};
    Bitmap image;
    for (unsigned alpha = 0; alpha < 256; ++alpha) {
        for (unsigned colour : values) {
            image.pixels.push_back((alpha << 24) | (colour << 16) | ((255 - colour) << 8) | (colour / 2));
        }
    }
    image.width = static_cast<int>(image.pixels.size());
    image.height = 1;
    for (unsigned background : values) {
        Bitmap blended = image;
        const unsigned red = background, green = 255 - background, blue = (background * 7) & 0xFF;
        blendOver(blended, red, green, blue);
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            ASSERT_EQ(blended.pixels[i], expectedPixel(image.pixels[i], red, green, blue))
                << std::hex << "pixel " << image.pixels[i] << " over " << red << "," << green << "," << blue;
        }
    }
}

TEST(BlendTest, AColourOverItselfStaysTheSame) {
    for (unsigned alpha = 0; alpha < 256; ++alpha) {
        for (unsigned value = 0; value < 256; ++value) {
            Bitmap image{1, 1, {(alpha << 24) | (value << 16) | (value << 8) | value}};
            const auto v = static_cast<unsigned char>(value);
            blendOver(image, v, v, v);
            ASSERT_EQ(image.pixels[0], 0xFF000000u | (value << 16) | (value << 8) | value)
                << "alpha " << alpha << " value " << value;
        }
    }
}

// alpha.png holds alphas 0, 1, 77, 128, 254 and 255; decoded with straight alpha, then blended.
TEST(BlendTest, DecodedPngWithPartialAlphaBlendsPerTheFormula) {
    const Bytes bytes = readFixture("alpha.png");
    std::optional<Bitmap> image = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->width, 6);
    blendOver(*image, 30, 60, 90);
    // (a*image + (255-a)*background)/255 per channel, worked out by hand.
    const std::uint32_t expected[] = {
        0xFF1E3C5A,  // alpha 0: the background
        0xFF1E3C59,  // alpha 1 of (200,100,50): 30.67, 60.16, 89.84
        0xFF177266,  // alpha 77 of (10,240,130): 23.96, 114.35, 102.08
        0xFF8E9DAC,  // alpha 128 of white: 142.94, 157.88, 172.82
        0xFF000000,  // alpha 254 of black: 0.11, 0.23, 0.35
        0xFF5A1EDC,  // alpha 255: the image itself
    };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(image->pixels[i], expected[i]) << std::hex << "pixel " << i << " is " << image->pixels[i];
    }
}

TEST(BlendTest, OpaquePixelsAreUntouchedAndResultIsOpaque) {
    Bitmap image{2, 1, {0xFF123456, 0x00ABCDEF}};
    blendOver(image, 1, 2, 3);
    EXPECT_EQ(image.pixels[0], 0xFF123456u);
    EXPECT_EQ(image.pixels[1], 0xFF010203u);
}

}  // namespace
