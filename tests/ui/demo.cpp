// porvanta-demo OUT_DIR SERVICE_LOG: what scripts/run shows without a display. It types a sample
// network into the real window, clicks "生成", and leaves in OUT_DIR (Unix paths) a screenshot of the
// window, the service's image and a QR decoder's reading of it, then saves the image through the real
// folder browser into OUT_DIR, telling each step on stdout.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/texts.h"
#include "tests/support/wifi_reader.h"
#include "tests/ui/driver.h"
#include "tests/ui/oracle.h"

namespace {

const char sampleName[] = "我的家 WiFi";
const char samplePassword[] = "Secret;123#";

// Lines in UTF-8: under Wine, stdout is a pipe, a file or a Unix terminal, all of them UTF-8 here.
void say(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int fail(const std::string& why) {
  say("demo failed: " + why);
  return 1;
}

// The target of the program's first request after `from` lines of the log, or empty after the deadline.
std::string programTarget(const std::string& log, size_t from) {
  std::vector<oracle::LoggedRequest> requests;
  ui::pollUntil([&] { return !(requests = oracle::programRequests(oracle::readLines(log), from)).empty(); });
  if (requests.empty()) return {};
  const std::string& line = requests[0].requestLine;
  size_t start = line.find(' ') + 1, end = line.rfind(' ');
  return end > start ? line.substr(start, end - start) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  if (argc != 3) return fail("usage: porvanta-demo OUT_DIR SERVICE_LOG");
  const std::string out = argv[1], log = argv[2];
  CreateDirectoryA(ui::winPath(out).c_str(), nullptr);

  ui::App app = ui::App::launch();
  HWND main = app.waitForWindow();
  std::vector<HWND> kids = main ? ui::children(main) : std::vector<HWND>();
  if (kids.size() < 8) return fail("the window of porvanta.exe did not open");
  say("porvanta.exe is running; typing into its window:");
  say("  network name: " + oracle::utf8FromCp936(sampleName));
  say("  password:     " + oracle::utf8FromCp936(samplePassword));
  ui::setText(kids[2], sampleName);
  ui::setText(kids[4], samplePassword);

  size_t before = oracle::readLines(log).size();
  ui::click(kids[5]);
  say("clicked \"" + oracle::utf8FromCp936("生成") + "\"");
  std::string target = programTarget(log, before);
  if (target.empty()) return fail("no request reached the service");
  say("the service received: GET " + target);

  // The service is deterministic: asked the same again, it answers the image the program got.
  std::optional<std::string> image = oracle::fetch("127.0.0.1", target);
  if (!image) return fail("the service answers no image for that request");
  std::vector<std::uint32_t> expected = oracle::expectedView(*image);
  bool shown = ui::pollUntil([&] { return oracle::viewPixels(main) == expected; });
  say(shown ? "the window shows the service's image, pixel for pixel" : "the window does NOT show the service's image");

  std::string shot = out + "/window.png";
  std::string imageFile = out + (image->compare(0, 4, "\x89PNG") == 0 ? "/qr.png" : "/qr.jpg");
  if (!ui::savePng(ui::capture(main), shot)) return fail("cannot write " + shot);
  if (!oracle::writeFile(imageFile, *image)) return fail("cannot write " + imageFile);
  say("screenshot of the window: " + shot);
  say("the downloaded image:     " + imageFile);

  std::optional<std::string> read = oracle::readQr(imageFile);
  if (!read) return fail("a QR decoder reads nothing from " + imageFile);
  oracle::writeFile(out + "/qr.txt", *read + "\n");
  std::map<std::string, std::string> fields = readWifiPayload(*read);
  bool same = fields["S"] == oracle::utf8FromCp936(sampleName) && fields["P"] == oracle::utf8FromCp936(samplePassword);
  say("a QR decoder reads:       " + *read);
  say("  network name \"" + fields["S"] + "\", password \"" + fields["P"] + "\", security " + fields["T"] +
      (same ? ": as typed" : ": NOT as typed"));

  // "保存" through the real folder browser, steered to OUT_DIR by its tree (OUT_DIR seen through Z:).
  ui::click(kids[6]);
  say("clicked \"" + oracle::utf8FromCp936("保存") + "\"");
  HWND browser = ui::waitForFolderBrowser(app);
  if (!browser) return fail("no folder browser opened");
  if (!ui::selectTreePath(browser, ui::treePathOfUnixFolder(out))) {
    ui::pressCancel(browser);
    return fail("the folder browser's tree does not reach " + out);
  }
  ui::pressOk(browser);
  say("chose " + out + " in the folder browser and pressed OK");
  ui::pollUntil([&] { return !IsWindow(browser); });
  HWND notice = ui::waitForNotice(app);
  std::string told = notice ? ui::noticeText(notice) : std::string();
  if (notice) ui::closeNotice(notice);
  ui::pollUntil([&] { return !notice || !IsWindow(notice); });
  say("the program says: " + oracle::utf8FromCp936(told));
  const std::string savedName = texts::fileSuffix + 1;  // without the leading backslash
  std::optional<std::string> saved = oracle::readFile(out + "/" + savedName);
  bool savedSame = told == texts::saved && saved == image;
  say("the saved file:           " + out + "/" + oracle::utf8FromCp936(savedName) +
      (savedSame ? ", the service's image byte for byte" : ", NOT the service's image"));

  PostMessageA(main, WM_CLOSE, 0, 0);
  int code = app.waitForExit();
  say("closed the window; porvanta.exe exited with code " + std::to_string(code));
  return shown && same && savedSame && code == 0 ? 0 : 1;
}
