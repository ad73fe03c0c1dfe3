// Decodes a request's query the way a PHP service fills $_GET, and extracts the API parameters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qrservice {

inline constexpr int defaultWidth = 200;
inline constexpr int minWidth = 50;
inline constexpr int maxWidth = 1000;

// '+' becomes a space and %XX the byte XX. A '%' not followed by two hex digits yields nullopt:
// the escapes are the only channel for a password's bytes, so a broken one is refused instead of
// being guessed at.
std::optional<std::string> decodeQueryComponent(std::string_view component);

// Absent, empty or non-numeric: defaultWidth. Otherwise the leading integer, clamped to
// [minWidth, maxWidth].
int parseWidth(std::optional<std::string_view> value);

struct ApiQuery {
  std::optional<std::string> text;
  int width = defaultWidth;
};

// The query is everything after the first '?' of the target. Parameters are separated by '&';
// empty ones are skipped, a name without '=' has an empty value, and the last occurrence wins.
// nullopt if any name or value holds a broken escape.
std::optional<ApiQuery> parseApiQuery(std::string_view query);

}  // namespace qrservice
