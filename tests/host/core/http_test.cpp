// The read chunk from a Content-Length value.
#include <gtest/gtest.h>

#include "core/http.h"

TEST(ChunkSize, FollowsContentLengthWithinItsBounds) {
  struct Case { const char* header; std::size_t want; } cases[] = {
      {nullptr, 10240},   {"", 10240},         {"0", 10240},          {"-5", 10240},
      {"abc", 10240},     {"1", 2},            {"4821", 4822},        {"  4821", 4822},
      {"+4821", 4822},    {"4821abc", 4822},   {"102399", 102400},    {"102400", 102400},
      {"99999999999999999999999", 102400},     {"\t\n 7", 8},         {"- 5", 10240},
  };
  for (const Case& c : cases) EXPECT_EQ(chunkSizeFor(c.header), c.want) << (c.header ? c.header : "(none)");
}
