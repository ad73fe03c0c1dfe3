// The Wi-Fi payload and request URL: what a phone reads back from them is exactly what was typed.
#include <gtest/gtest.h>

#include "core/percent.h"
#include "core/wifi.h"
#include "tests/support/wifi_reader.h"

namespace {

// What the generate command does with one field (here the text is UTF-8 already).
Text encodeField(const std::string& utf8) { return escapeEncodedWifiField(Text(percentEncodeUtf8(utf8))); }

TEST(WifiPayload, KeepsItsFixedShape) {
  EXPECT_EQ(composePayload(Text("pw"), Text("net")).str(), "WIFI:T:WPA;P:pw;S:net;");
  EXPECT_EQ(composeRequestUrl(Text("http://qr.example"), Text("WIFI:T:WPA;P:pw;S:net;")).str(),
            "http://qr.example/api.php?&w=200&text=WIFI:T:WPA;P:pw;S:net;");
}

TEST(WifiPayload, EscapesOnlyTheFiveSpecialsInTheEncodedForm) {
  struct Case { const char* encoded; const char* want; } cases[] = {
      {"abc", "abc"},
      {"a%3Bb", "a%5C%3Bb"},
      {"%5C%3B%2C%3A%22", "%5C%5C%5C%3B%5C%2C%5C%3A%5C%22"},
      {"%5c%3b", "%5C%5c%5C%3b"},        // lower-case hex is the same character
      {"%E4%B8%AD%23%26%2B%25", "%E4%B8%AD%23%26%2B%25"},  // # & + % and CJK need no escape
      {"%3", "%3"},                      // a cut-off escape is left alone
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(escapeEncodedWifiField(Text(c.encoded)).str(), c.want) << c.encoded;
}

TEST(WifiPayload, RoundTripsThroughTheServiceAndAPhone) {
  struct Case { std::string name, password; } cases[] = {
      {"home", "secret123"},
      {"我的 home", "密码 with blank"},
      {"a;b", "p;w"},
      {"c:d", "p:w:S:evil"},
      {"back\\slash", "\\\\"},
      {"quote\"d", "\"\""},
      {"comma,name", "a,b"},
      {"hash#net", "pa#ss"},
      {"amp&net", "a&b=c"},
      {"plus+net", "a+b"},
      {"pct%net", "100%25"},
      {"  ", "   "},
      {"x", std::string(200, 'p')},
      {"T:WPA;", ";S:x;P:y;"},
  };
  for (const Case& c : cases) {
    Text url = composeRequestUrl(Text("http://qr.example"), composePayload(encodeField(c.password), encodeField(c.name)));
    std::string query = url.str().substr(url.str().find("&text=") + 6);
    // No '#' ends the target early, no '&' or '+' reaches the service raw.
    EXPECT_EQ(query.find_first_of("#&+ "), std::string::npos) << query;
    std::map<std::string, std::string> fields = readWifiPayload(decodeQueryValue(query));
    EXPECT_EQ(fields["T"], "WPA");
    EXPECT_EQ(fields["P"], c.password) << query;
    EXPECT_EQ(fields["S"], c.name) << query;
    EXPECT_EQ(fields.size(), 3u) << query;
  }
}

}  // namespace
