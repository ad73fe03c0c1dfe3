// Text operations: concatenation and unsigned byte comparison.
#include "core/text.h"

#include <cstring>

Text concat(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (auto p : parts) total += p.size();
  std::string s;
  s.reserve(total);
  for (auto p : parts) s.append(p);
  return Text(std::move(s));
}

int compare(const Text& a, const Text& b) {
  std::size_t n = a.length() < b.length() ? a.length() : b.length();
  int c = std::memcmp(a.c_str(), b.c_str(), n);  // memcmp compares as unsigned char
  if (c == 0) c = a.length() < b.length() ? -1 : (a.length() > b.length() ? 1 : 0);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
