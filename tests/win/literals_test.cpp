// The cross compiler stores the program's texts as code page 936 bytes, and Wine runs with that code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "core/texts.h"

TEST(Literals, FileSuffixIsCodePage936) {
  const unsigned char want[] = {0x5C, 0x57, 0x69, 0x46, 0x69, 0xB6, 0xFE, 0xCE,
                                0xAC, 0xC2, 0xEB, 0x2E, 0x6A, 0x70, 0x67};
  ASSERT_EQ(std::strlen(texts::fileSuffix), sizeof want);
  EXPECT_EQ(std::memcmp(texts::fileSuffix, want, sizeof want), 0);
}

TEST(Literals, AnsiCodePageIs936AndRoundTripsTheTexts) {
  EXPECT_EQ(GetACP(), 936u);
  wchar_t wide[64];
  int n = MultiByteToWideChar(CP_ACP, 0, texts::saved, -1, wide, 64);
  ASSERT_GT(n, 0);
  EXPECT_STREQ(wide, L"保存成功！");
}
