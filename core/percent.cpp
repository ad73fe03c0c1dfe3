// Percent-encoding of UTF-8 bytes: the in-process twin of encodeURIComponent.
#include "core/percent.h"

namespace {

bool passesUnchanged(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-':
    case '_':
    case '.':
    case '!':
    case '~':
    case '*':
    case '\'':
    case '(':
    case ')':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string percentEncodeUtf8(std::string_view utf8) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    if (passesUnchanged(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 0x0F]);
    }
  }
  return out;
}
