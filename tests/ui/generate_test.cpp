// The generate command end to end against the real service: notices for empty fields, the request
// as the service receives it, the image the view shows, and what a QR decoder reads from it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/wifi_reader.h"
#include "tests/ui/driver.h"
#include "tests/ui/oracle.h"

namespace {

constexpr char programUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

struct Window {
  HWND main = nullptr, name = nullptr, password = nullptr, generate = nullptr;
};

Window controlsOf(HWND main) {
  std::vector<HWND> kids = ui::children(main);
  if (kids.size() < 8) return {};
  return {main, kids[2], kids[4], kids[5]};
}

// The program's requests to a service after the first `from` log lines, once there are `count`.
std::vector<oracle::LoggedRequest> waitForRequests(const char* format, size_t from, size_t count) {
  std::vector<oracle::LoggedRequest> requests;
  ui::pollUntil([&] { return (requests = oracle::programRequests(ui::serviceLog(format), from)).size() >= count; });
  return requests;
}

// The view shows exactly the service's image for that target, and the image reads back as typed.
void expectShownAndReadable(HWND main, const char* address, const std::string& target, const std::string& name,
                            const std::string& password) {
  std::optional<std::string> image = oracle::fetch(address, target);
  ASSERT_TRUE(image.has_value()) << "the service gave no image for " << target;
  std::vector<std::uint32_t> expected = oracle::expectedView(*image);
  ASSERT_FALSE(expected.empty());
  std::vector<std::uint32_t> shown;
  if (!ui::pollUntil([&] { return (shown = oracle::viewPixels(main)) == expected; })) {
    size_t differ = 0;
    while (differ < shown.size() && differ < expected.size() && shown[differ] == expected[differ]) ++differ;
    ADD_FAILURE() << "the view differs from the service's image first at x " << differ % oracle::viewSize << ", y "
                  << differ / oracle::viewSize;
  }

  std::string file = std::string(PORVANTA_BUILD_DIR) + "/tests/ui/generate-" + std::to_string(GetCurrentProcessId()) +
                     (image->compare(0, 4, "\x89PNG") == 0 ? ".png" : ".jpg");
  ASSERT_TRUE(oracle::writeFile(file, *image));
  std::optional<std::string> read = oracle::readQr(file);
  ASSERT_TRUE(read.has_value()) << "no QR code read from " << file;
  std::map<std::string, std::string> fields = readWifiPayload(*read);
  EXPECT_EQ(fields, (std::map<std::string, std::string>{
                        {"T", "WPA"}, {"P", oracle::utf8FromCp936(password)}, {"S", oracle::utf8FromCp936(name)}}))
      << *read;
  DeleteFileA(ui::winPath(file).c_str());
}

void closeAndExpectZero(ui::App& app) {
  PostMessageA(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.waitForExit(), 0);
}

TEST(Generate, AnEmptyFieldGivesItsNoticeAndSendsNothing) {
  struct Case {
    const char* name;
    const char* password;
    const char* notice;
  };
  const Case cases[] = {
      {"", "pw", "未输入WiFi名称"},
      {"", "", "未输入WiFi名称"},
      {"home", "", "未输入WiFi密码"},
  };
  size_t before = ui::serviceLog("png").size();
  ui::App app = ui::App::launch();
  Window w = controlsOf(app.waitForWindow());
  ASSERT_NE(w.main, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("name \"") + c.name + "\", password \"" + c.password + "\"");
    ui::setText(w.name, c.name);
    ui::setText(w.password, c.password);
    ui::click(w.generate);
    HWND box = ui::waitForNotice(app);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::noticeText(box), c.notice);
    EXPECT_EQ(ui::windowText(box), "信息：");
    ui::closeNotice(box);
    ASSERT_TRUE(ui::pollUntil([&] { return app.findTopLevel("#32770") == nullptr; }));
  }
  // Requests go out one at a time from the window's thread: one sent for any case above would
  // be logged before this one.
  ui::setText(w.name, "home");
  ui::setText(w.password, "pw");
  ui::click(w.generate);
  std::vector<oracle::LoggedRequest> requests = waitForRequests("png", before, 1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET " + oracle::expectedTarget("home", "pw") + " HTTP/1.0");
  EXPECT_EQ(app.findTopLevel("#32770"), nullptr);
  closeAndExpectZero(app);
}

TEST(Generate, RequestImageAndQrCodeFollowWhatWasTyped) {
  // Every mark encodeURIComponent leaves alone, in a password as long as a user might paste.
  std::string longPassword;
  const std::string marks = "aZ9-_.!~*'()";
  while (longPassword.size() < 200) longPassword += marks[longPassword.size() % marks.size()];
  struct Case {
    std::string name, password;
  };
  const Case cases[] = {
      {"我的家", "密码123"}, {"my home", "pass word"}, {"a\\b;c,d:e\"f", "\\;,:\""}, {"#&+%", "p#1&2+3%41"},
      {"   ", " "},          {"Guest", longPassword},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("name \"" + oracle::utf8FromCp936(c.name) + "\", password \"" + oracle::utf8FromCp936(c.password) +
                 "\"");
    size_t before = ui::serviceLog("png").size();
    ui::App app = ui::App::launch();
    Window w = controlsOf(app.waitForWindow());
    ASSERT_NE(w.main, nullptr);
    ui::setText(w.name, c.name);
    ui::setText(w.password, c.password);
    ASSERT_EQ(ui::windowText(w.password), c.password);
    ui::click(w.generate);
    std::vector<oracle::LoggedRequest> requests = waitForRequests("png", before, 1);
    ASSERT_EQ(requests.size(), 1u);
    std::string target = oracle::expectedTarget(c.name, c.password);
    EXPECT_EQ(requests[0].requestLine, "GET " + target + " HTTP/1.0");
    EXPECT_EQ(requests[0].status, 200);
    expectShownAndReadable(w.main, "127.0.0.1", target, c.name, c.password);
    closeAndExpectZero(app);
  }
}

TEST(Generate, EachClickDownloadsAgainAndShowsTheNewImage) {
  // The JPEG service, so that the view's pixels are compared after a lossy decode too.
  ui::ServiceRoute route("127.0.0.2");
  size_t before = ui::serviceLog("jpeg").size();
  ui::App app = ui::App::launch();
  Window w = controlsOf(app.waitForWindow());
  ASSERT_NE(w.main, nullptr);
  const std::pair<const char*, const char*> typed[] = {{"first", "one;1"}, {"第二", "two:2"}};
  for (size_t i = 0; i < std::size(typed); ++i) {
    auto [name, password] = typed[i];
    SCOPED_TRACE(oracle::utf8FromCp936(name));
    ui::setText(w.name, name);
    ui::setText(w.password, password);
    ui::click(w.generate);
    std::vector<oracle::LoggedRequest> requests = waitForRequests("jpeg", before, i + 1);
    ASSERT_EQ(requests.size(), i + 1);
    std::string target = oracle::expectedTarget(name, password);
    EXPECT_EQ(requests[i].requestLine, "GET " + target + " HTTP/1.0");
    // The agent the root handle was opened with, on the second request as on the first.
    EXPECT_EQ(requests[i].userAgent, programUserAgent);
    expectShownAndReadable(w.main, "127.0.0.2", target, name, password);
  }
  closeAndExpectZero(app);
}

}  // namespace
