// Percent-encoding of UTF-8 bytes, the way a URL component carries a text.
#pragma once

#include <string>
#include <string_view>

// Every byte other than A-Z a-z 0-9 and - _ . ! ~ * ' ( ) becomes %XX with upper-case hex digits,
// the same result as JavaScript's encodeURIComponent over the text these bytes spell.
std::string percentEncodeUtf8(std::string_view utf8);
