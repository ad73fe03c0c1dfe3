// The read chunk size from a Content-Length header value.
#include "core/http.h"

namespace {
constexpr std::size_t largestChunk = 102400;
constexpr std::size_t defaultChunk = 10240;
}  // namespace

std::size_t chunkSizeFor(const char* contentLength) {
  if (!contentLength) return defaultChunk;
  const char* p = contentLength;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Counting stops once the value is past the largest chunk: larger values give the same result
  // and must not overflow.
  std::size_t value = 0;
  for (; *p >= '0' && *p <= '9' && value <= largestChunk; ++p) value = value * 10 + static_cast<std::size_t>(*p - '0');
  if (negative || value == 0) return defaultChunk;
  return value + 1 < largestChunk ? value + 1 : largestChunk;
}
