// PHP-style query decoding and the service's two parameters, w and text.
#include "query.h"

namespace qrservice {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> decodeQueryComponent(std::string_view component) {
  std::string out;
  out.reserve(component.size());
  for (size_t i = 0; i < component.size(); ++i) {
    char c = component[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= component.size()) return std::nullopt;
      int high = hexValue(component[i + 1]);
      int low = hexValue(component[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

int parseWidth(std::optional<std::string_view> value) {
  if (!value) return defaultWidth;
  std::string_view s = *value;
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return defaultWidth;
  long long n = 0;
  // Saturating well above maxWidth keeps a hundred-digit width from overflowing.
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (n < 1000000) n = n * 10 + (s[i] - '0');
  }
  if (negative) n = -n;
  if (n < minWidth) return minWidth;
  if (n > maxWidth) return maxWidth;
  return static_cast<int>(n);
}

std::optional<ApiQuery> parseApiQuery(std::string_view query) {
  ApiQuery result;
  std::optional<std::string> width;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    auto name = decodeQueryComponent(pair.substr(0, eq));
    auto value = decodeQueryComponent(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
    if (!name || !value) return std::nullopt;
    if (*name == "text")
      result.text = std::move(*value);
    else if (*name == "w")
      width = std::move(*value);
  }
  result.width = parseWidth(width ? std::optional<std::string_view>(*width) : std::nullopt);
  return result;
}

}  // namespace qrservice
