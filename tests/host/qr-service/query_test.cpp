// Query decoding as a PHP service does it, and the width clamp.
#include <gtest/gtest.h>

#include "query.h"

using qrservice::decodeQueryComponent;
using qrservice::parseApiQuery;
using qrservice::parseWidth;

namespace {

struct Decoding {
    const char* name;
    std::string_view raw;
    std::string_view decoded;
};

const Decoding decodings[] = {
    {"plain", "abc", "abc"},
    {"plusIsSpace", "a+b", "a b"},
    {"escapedPlus", "a%2Bb", "a+b"},
    {"escapedSpace", "a%20b", "a b"},
    {"hash", "%23x", "#x"},
    {"lowerCaseHex", "%e4%b8%ad", "\xe4\xb8\xad"},
    {"upperCaseHex", "%E4%B8%AD", "\xe4\xb8\xad"},
    {"escapedPercent", "100%25", "100%"},
    {"nulByte", "a%00b", std::string_view("a\0b", 3)},
    {"highByte", "%FF", "\xff"},
    {"literalBackslash", "a\\;b", "a\\;b"},
    {"empty", "", ""},
};

void PrintTo(const Decoding& decoding, std::ostream* out) { *out << decoding.name; }

class DecodeQueryComponent : public testing::TestWithParam<Decoding> {};

TEST_P(DecodeQueryComponent, GivesTheBytes) {
    auto decoded = decodeQueryComponent(GetParam().raw);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(Valid, DecodeQueryComponent, testing::ValuesIn(decodings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeQueryComponentBroken, RefusesEscapesWithoutTwoHexDigits) {
    for (std::string_view raw : {"%", "%4", "a%", "%zz", "%4g", "%g4", "%%41", "ok%2"}) {
        EXPECT_FALSE(decodeQueryComponent(raw).has_value()) << raw;
    }
}

TEST(ParseWidth, DefaultsClampsAndReadsTheLeadingInteger) {
    struct Case {
        std::optional<std::string_view> value;
        int width;
    };
    const Case cases[] = {
        {std::nullopt, 200}, {"", 200},       {"abc", 200},      {"-", 200},
        {"300", 300},        {"50", 50},      {"49", 50},        {"0", 50},
        {"-300", 50},        {"1000", 1000},  {"1001", 1000},    {"99999999999999999999999", 1000},
        {"250px", 250},      {" 120", 120},   {"+400", 400},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseWidth(c.value), c.width) << (c.value ? std::string(*c.value) : "(absent)");
    }
}

TEST(ParseApiQuery, AcceptsTheClientsShapeWithAnEmptyLeadingParameter) {
    auto query = parseApiQuery("&w=240&text=a+b%2Bc");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->width, 240);
    EXPECT_EQ(query->text, "a b+c");
}

TEST(ParseApiQuery, LastOccurrenceWinsAndNamesAreDecoded) {
    auto query = parseApiQuery("text=first&w=100&%74ext=second&&w=300");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->text, "second");
    EXPECT_EQ(query->width, 300);
}

TEST(ParseApiQuery, KeepsAbsentTextApartFromEmptyText) {
    auto absent = parseApiQuery("w=200&other=1");
    ASSERT_TRUE(absent.has_value());
    EXPECT_FALSE(absent->text.has_value());
    EXPECT_EQ(absent->width, 200);

    auto bare = parseApiQuery("text");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->text, "");
}

TEST(ParseApiQuery, EqualsSignsAfterTheFirstBelongToTheValue) {
    auto query = parseApiQuery("text=a=b==");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->text, "a=b==");
}

TEST(ParseApiQuery, RefusesABrokenEscapeInAnyParameter) {
    EXPECT_FALSE(parseApiQuery("text=ok&w=%zz").has_value());
    EXPECT_FALSE(parseApiQuery("te%xt=ok").has_value());
    EXPECT_FALSE(parseApiQuery("unused=%&text=ok").has_value());
}

}  // namespace
