// downloadBytes against a scripted server: what it returns when the service cuts or resets the connection.
#include <gtest/gtest.h>

#include <string>

#include "platform/download.h"
#include "tests/support/hostile_server.h"

namespace {

constexpr char address[] = "127.0.0.4";
constexpr unsigned short port = 8080;

struct Case {
  const char* name;
  hostile::Reply reply;
  std::string expected;  // the bytes downloadBytes must return
};

std::string bodyOf(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i * 7 + i / 256);
  return body;
}

// Whether a reset reaches Wine's read before or after the buffered bytes are handed over varies
// from one connection to the next; many rounds make the unlucky order all but certain to occur.
constexpr int rounds = 40;

TEST(DownloadBytes, KeepsWhatArrivedWhenTheServiceCutsTheConnection) {
  hostile::Server server(address, port);
  ASSERT_TRUE(server.listening());
  std::string body = bodyOf(3000);
  std::string half = body.substr(0, body.size() / 2);
  std::string whole = "Content-Length: " + std::to_string(body.size());
  std::string past = "Content-Length: " + std::to_string(body.size() + 5000);
  const Case cases[] = {
      {"closed before the announced length", {hostile::response("200 OK", {past}, body)}, body},
      {"reset before the announced length", {hostile::response("200 OK", {past}, body), hostile::Ending::reset}, body},
      {"reset with no length", {hostile::response("200 OK", {}, body), hostile::Ending::reset}, body},
      {"closed in mid-body", {hostile::response("200 OK", {whole}, half)}, half},
      {"reset in mid-body", {hostile::response("200 OK", {whole}, half), hostile::Ending::reset}, half},
  };
  Text url("http://" + std::string(address) + ":" + std::to_string(port) + "/x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.script({c.reply});
    int wrong = 0;
    for (int round = 0; round < rounds; ++round) {
      Bytes got = downloadBytes(url);
      if (std::string(got.begin(), got.end()) != c.expected) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "of " << rounds << " downloads";
  }
}

}  // namespace
