// Text and Bytes: the owned byte strings (system ANSI code page) and byte sequences the program passes around.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Image and response data. Only the data bytes ever reach a file or the network.
using Bytes = std::vector<unsigned char>;

// A NUL-terminated byte string in the system ANSI code page, owning its storage. "Absent" and
// "empty" are the same value here: a Text made from a null pointer is the empty Text.
class Text {
 public:
  Text() = default;
  Text(const char* s) : s_(s ? s : "") {}  // NOLINT: literals and platform strings convert freely
  Text(const char* data, std::size_t n) : s_(data, n) {}
  explicit Text(std::string s) : s_(std::move(s)) {}

  std::size_t length() const { return s_.size(); }
  bool empty() const { return s_.empty(); }
  const char* c_str() const { return s_.c_str(); }
  const std::string& str() const { return s_; }
  operator std::string_view() const { return s_; }  // NOLINT

 private:
  std::string s_;
};

// One new Text holding the parts one after another.
Text concat(std::initializer_list<std::string_view> parts);

// Byte-by-byte comparison as unsigned values: -1, 0 or 1.
int compare(const Text& a, const Text& b);

inline bool operator==(const Text& a, const Text& b) {
  return a.str() == b.str();
}
