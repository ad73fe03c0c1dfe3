// percentEncodeUtf8: which bytes pass unchanged, and the %XX form of every other byte.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

#include "core/percent.h"

using namespace std::string_literals;

TEST(PercentEncode, Table) {
  struct Case { std::string in, want; } cases[] = {
      {"", ""},
      {"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
      {" ", "%20"},                          // a blank is %20, never +
      {"a+b;c:d", "a%2Bb%3Bc%3Ad"},
      {"100%", "100%25"},
      {"\"#$&,/<=>?@[\\]^`{|}", "%22%23%24%26%2C%2F%3C%3D%3E%3F%40%5B%5C%5D%5E%60%7B%7C%7D"},
      {"\xE4\xB8\xAD", "%E4%B8%AD"},         // 中 in UTF-8
      {"\xE6\x88\x91\xE7\x9A\x84 home", "%E6%88%91%E7%9A%84%20home"},
      {"\xF0\x9F\x98\x80", "%F0%9F%98%80"},  // four bytes outside the BMP
      {"a\0b"s, "a%00b"},                    // a NUL inside the view is a byte like any other
      {"\x7F\x80\xFF", "%7F%80%FF"},
      {"\xab\xcd", "%AB%CD"},                // hex digits upper case
  };
  for (const auto& c : cases) EXPECT_EQ(percentEncodeUtf8(c.in), c.want) << c.in;
}

TEST(PercentEncode, EveryByteEitherPassesOrDecodesBackToItself) {
  const std::string_view unchanged =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.!~*'()";
  int passed = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    const std::string out = percentEncodeUtf8(in);
    if (unchanged.find(static_cast<char>(b)) != std::string_view::npos) {
      EXPECT_EQ(out, in) << "byte " << b;
      ++passed;
      continue;
    }
    ASSERT_EQ(out.size(), 3u) << "byte " << b;
    EXPECT_EQ(out[0], '%');
    EXPECT_FALSE(std::islower(static_cast<unsigned char>(out[1])) ||
                 std::islower(static_cast<unsigned char>(out[2])))
        << out;
    EXPECT_EQ(std::stoi(out.substr(1), nullptr, 16), b) << out;
  }
  EXPECT_EQ(passed, static_cast<int>(unchanged.size()));
}
