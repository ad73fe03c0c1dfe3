// Text: concatenation, unsigned comparison, absent-as-empty, and the code page 936 literals.
#include <gtest/gtest.h>

#include <cstring>

#include "core/text.h"
#include "core/texts.h"

TEST(Text, AbsentIsEmpty) {
  Text absent(nullptr);
  EXPECT_TRUE(absent.empty());
  EXPECT_EQ(absent.length(), 0u);
  EXPECT_EQ(compare(absent, Text("")), 0);
  EXPECT_STREQ(absent.c_str(), "");
}

TEST(Text, ConcatJoinsPartsInOrder) {
  Text t = concat({"WIFI:", Text(), Text("ab"), "", ";"});
  EXPECT_EQ(t.str(), "WIFI:ab;");
  EXPECT_EQ(t.length(), 8u);
}

TEST(Text, CompareIsUnsignedBytewise) {
  struct Case { const char* a; const char* b; int want; } cases[] = {
      {"", "", 0}, {"a", "", 1}, {"", "a", -1}, {"abc", "abd", -1},
      {"ab", "abc", -1}, {"\xB6", "a", 1},  // 0xB6 sorts above 'a' as an unsigned byte
  };
  for (auto& c : cases) EXPECT_EQ(compare(Text(c.a), Text(c.b)), c.want) << c.a << " vs " << c.b;
}

TEST(Text, LiteralsAreCodePage936) {
  const unsigned char want[] = {0x5C, 0x57, 0x69, 0x46, 0x69, 0xB6, 0xFE, 0xCE,
                                0xAC, 0xC2, 0xEB, 0x2E, 0x6A, 0x70, 0x67};
  ASSERT_EQ(std::strlen(texts::fileSuffix), sizeof want);
  EXPECT_EQ(std::memcmp(texts::fileSuffix, want, sizeof want), 0);
  // 信息： (the notice caption) is D0 C5 CF A2 A3 BA.
  EXPECT_STREQ(texts::noticeCaption, "\xD0\xC5\xCF\xA2\xA3\xBA");
}
