// Reads a Wi-Fi QR payload back the way a phone does, for tests: the fields with their escapes undone.
#pragma once

#include <map>
#include <string>
#include <string_view>

// Splits "WIFI:K:v;K:v;;" into fields; a backslash takes the next character literally.
// Empty map when the text is no Wi-Fi payload.
inline std::map<std::string, std::string> readWifiPayload(std::string_view text) {
  std::map<std::string, std::string> fields;
  if (text.substr(0, 5) != "WIFI:") return fields;
  size_t i = 5;
  while (i < text.size() && text[i] != ';') {
    size_t colon = text.find(':', i);
    if (colon == std::string_view::npos) return {};
    std::string key(text.substr(i, colon - i)), value;
    for (i = colon + 1; i < text.size() && text[i] != ';'; ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) ++i;
      value += text[i];
    }
    fields[key] = value;
    ++i;  // the ';'
  }
  return fields;
}

// Undoes percent-encoding the way a service decodes a query value ('+' is a space).
inline std::string decodeQueryValue(std::string_view s) {
  auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
      i += 2;
    } else {
      out += s[i] == '+' ? ' ' : s[i];
    }
  }
  return out;
}
