// Composing the Wi-Fi payload and the request URL, and escaping their fields.
#include "core/wifi.h"

#include <cctype>
#include <string>

namespace {
constexpr char payloadStart[] = "WIFI:T:WPA;P:";
constexpr char nameStart[] = ";S:";
constexpr char payloadEnd[] = ";";
constexpr char requestPath[] = "/api.php?&w=200&text=";

bool isWifiSpecial(char hi, char lo) {
  const char* specials[] = {"5C", "3B", "2C", "3A", "22"};
  for (const char* s : specials)
    if (std::toupper(static_cast<unsigned char>(hi)) == s[0] && std::toupper(static_cast<unsigned char>(lo)) == s[1])
      return true;
  return false;
}
}  // namespace

Text composePayload(const Text& encodedPassword, const Text& encodedName) {
  return concat({payloadStart, encodedPassword, nameStart, encodedName, payloadEnd});
}

Text composeRequestUrl(const Text& serviceBase, const Text& payload) {
  return concat({serviceBase, requestPath, payload});
}

Text escapeEncodedWifiField(const Text& encoded) {
  const std::string& in = encoded.str();
  std::string out;
  out.reserve(in.size() + in.size() / 2);
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size() && isWifiSpecial(in[i + 1], in[i + 2])) out += "%5C";
    out += in[i];
  }
  return Text(std::move(out));
}
