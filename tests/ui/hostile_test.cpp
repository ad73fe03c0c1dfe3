// The generate command against a hostile service: a scripted server of the test's own answers the
// real program with odd headers, cut or reset connections, error pages, oversized bodies, redirects,
// or is not there at all; the picture view shows the image or is cleared, and the program goes on
// to generate again.
#include <gtest/gtest.h>
#include <png.h>

#include <optional>
#include <string>
#include <vector>

#include "core/http.h"
#include "imaging/image.h"
#include "tests/support/hostile_server.h"
#include "tests/ui/driver.h"

namespace {

constexpr char serverAddress[] = "127.0.0.3";
// The picture view's place in the main window's client area.
constexpr int viewX = 96, viewY = 176, viewSize = 205;

struct Picture {
  std::string bytes;
  Bitmap bitmap;
};

template <class ColourAt>
Picture makePng(int width, int height, ColourAt colourAt) {
  std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | colourAt(x, y);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in little-endian memory
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  Picture p;
  p.bytes.resize(size);
  png_image_write_to_memory(&image, p.bytes.data(), &size, 0, pixels.data(), 0, nullptr);
  p.bytes.resize(size);
  auto data = reinterpret_cast<const unsigned char*>(p.bytes.data());
  p.bitmap = decodeImage(data, p.bytes.size()).value_or(Bitmap{});
  return p;
}

// What the hostile replies carry: noise, so that the PNG is larger than the program's read chunk
// without a Content-Length (10240 bytes) and the body takes several reads.
const Picture& served() {
  static const Picture p = makePng(120, 90, [](int x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    return (h ^ h >> 13) * 2654435761u & 0xFFFFFF;
  });
  return p;
}

// A picture the size of a QR image, small enough to arrive with the response's headers.
const Picture& small() {
  static const Picture p = makePng(120, 90, [](int x, int) { return x / 10 % 2 ? 0xFF0000u : 0x0000FFu; });
  return p;
}

// What the service sends after each hostile reply, to show the program still generates: a
// different picture, so that every case's outcome is a visible change from what was there before.
const Picture& recovery() {
  static const Picture p =
      makePng(160, 160, [](int x, int y) { return (x / 16 + y / 16) % 2 ? 0x00C000u : 0xFFFF00u; });
  return p;
}

std::string pngBody() {
  return served().bytes;
}

hostile::Reply ok(const std::string& body) {
  return {hostile::response("200 OK", {}, body)};
}

// A valid image followed by filler up to size bytes: decodable, and exactly that long.
std::string paddedTo(std::size_t size) {
  std::string body = pngBody();
  body.resize(size, '\0');
  return body;
}

// Either the image at the view's top left on the button-face background, or the background alone.
bool viewShows(const ui::Capture& shot, const Bitmap* image) {
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::uint32_t background = GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
  if (shot.width < viewX + viewSize || shot.height < viewY + viewSize) return false;
  for (int y = 0; y < viewSize; ++y)
    for (int x = 0; x < viewSize; ++x) {
      bool inImage = image && x < image->width && y < image->height;
      std::uint32_t want = inImage ? image->pixels[static_cast<size_t>(y) * image->width + x] & 0xFFFFFF : background;
      if (shot.at(viewX + x, viewY + y) != want) return false;
    }
  return true;
}

bool waitForView(HWND window, const Bitmap* image) {
  // Generous: an oversized body takes a second or so to cross Wine's sockets.
  return ui::pollUntil([&] { return viewShows(ui::capture(window), image); }, 30000);
}

bool responsive(HWND window) {
  DWORD_PTR result = 0;
  return IsWindow(window) && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

enum class View { image, cleared };

struct Case {
  const char* name;
  std::vector<hostile::Reply> replies{};  // one per connection the program opens
  View outcome;
  const Picture& (*picture)() = served;  // what the view shows when the outcome is an image
  std::size_t requests = 1;              // what the server receives: a redirect makes two, an unsent request none
  bool serverDown = false;               // nothing listens at the service's address: the connection is refused
  bool hostListed = true;                // false: the hosts file does not name the service host at all
  std::string password = "secret";
  std::string target{};  // when set, the request target the last request must carry
};

// One program for the whole table: each generation is independent of the one before. After every
// case the service turns good again and a second click must show its image.
void runCases(const std::vector<Case>& cases) {
  std::optional<hostile::Server> server(std::in_place, serverAddress);
  ASSERT_TRUE(server->listening());
  ASSERT_GT(served().bitmap.width, 0);
  ASSERT_GT(served().bytes.size(), 2 * 10240u) << "the body must take several reads";
  ui::App app = ui::App::launch();
  HWND window = app.waitForWindow();
  ASSERT_NE(window, nullptr);
  std::vector<HWND> kids = ui::children(window);
  ASSERT_EQ(kids.size(), 8u);
  HWND password = kids[4], generate = kids[5];
  ui::setText(kids[2], "n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::setText(password, c.password);
    server->script(c.replies);
    std::size_t before = server->requestCount();
    if (c.serverDown) server.reset();
    {
      ui::ServiceRoute route(c.hostListed ? serverAddress : nullptr);
      ui::click(generate);
      EXPECT_TRUE(waitForView(window, c.outcome == View::image ? &c.picture().bitmap : nullptr));
    }
    if (!server) {
      server.emplace(serverAddress);
      ASSERT_TRUE(server->listening());
      before = 0;
    }
    // The view changes only after the download returned, so every request it made is in.
    std::vector<std::string> requests = server->requests();
    EXPECT_EQ(requests.size() - before, c.requests);
    if (!c.target.empty() && !requests.empty()) {
      std::string line = requests.back().substr(0, requests.back().find("\r\n"));
      EXPECT_EQ(line, "GET " + c.target + " HTTP/1.0");
    }
    ASSERT_TRUE(responsive(window));

    ui::setText(password, "secret");
    server->script({ok(recovery().bytes)});
    before = server->requestCount();
    ui::ServiceRoute route(serverAddress);
    ui::click(generate);
    ASSERT_TRUE(waitForView(window, &recovery().bitmap)) << "no later generation";
    EXPECT_EQ(server->requestCount(), before + 1);
  }
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.waitForExit(), 0);
}

std::string withLength(const std::string& length, const Picture& picture = served()) {
  return hostile::response("200 OK", {"Content-Type: image/png", "Content-Length: " + length}, picture.bytes);
}

TEST(HostileService, ContentLengthIsOnlyAHint) {
  std::string whole = std::to_string(pngBody().size());
  std::string past = std::to_string(pngBody().size() + 5000);
  std::string cut =
      hostile::response("200 OK", {"Content-Length: " + whole}, pngBody().substr(0, pngBody().size() / 2));
  runCases({
      {.name = "no length, closed at the end", .replies = {ok(pngBody())}, .outcome = View::image},
      // Wine ends a body announced as empty after the bytes that came with the headers (its first
      // 8 KiB read), so the image here is one that fits there.
      {.name = "length 0", .replies = {{withLength("0", small())}}, .outcome = View::image, .picture = small},
      {.name = "length abc", .replies = {{withLength("abc")}}, .outcome = View::image},
      {.name = "length -5", .replies = {{withLength("-5")}}, .outcome = View::image},
      {.name = "length past the body, closed", .replies = {{withLength(past)}}, .outcome = View::image},
      // Wine's read that meets the reset fails, yet hands over the bytes it had: they arrived.
      {.name = "length past the body, reset",
       .replies = {{withLength(past), hostile::Ending::reset}},
       .outcome = View::image},
      {.name = "closed in mid-body", .replies = {{cut}}, .outcome = View::cleared},
      {.name = "reset in mid-body", .replies = {{cut, hostile::Ending::reset}}, .outcome = View::cleared},
  });
}

TEST(HostileService, StatusAndRedirects) {
  std::string page = "<html><body><h1>500 Internal Server Error</h1></body></html>";
  std::string elsewhere = std::string(PORVANTA_SERVICE_URL) + "/elsewhere";
  runCases({
      {.name = "error page",
       .replies = {{hostile::response("500 Internal Server Error", {"Content-Type: text/html"}, page)}},
       .outcome = View::cleared},
      // Whatever the status, the body is the result.
      {.name = "image under 404",
       .replies = {{hostile::response("404 Not Found", {}, pngBody())}},
       .outcome = View::image},
      {.name = "redirect to a path",
       .replies = {{hostile::response("302 Found", {"Location: /moved.png"}, "")}, ok(pngBody())},
       .outcome = View::image,
       .requests = 2,
       .target = "/moved.png"},
      {.name = "redirect to a URL",
       .replies = {{hostile::response("301 Moved Permanently", {"Location: " + elsewhere}, "")}, ok(pngBody())},
       .outcome = View::image,
       .requests = 2,
       .target = "/elsewhere"},
  });
}

TEST(HostileService, BodiesAtTheBound) {
  std::string nineMiB = std::to_string(9u << 20);
  runCases({
      {.name = "exactly the bound", .replies = {ok(paddedTo(maxBodyBytes))}, .outcome = View::image},
      {.name = "one byte over", .replies = {ok(paddedTo(maxBodyBytes + 1))}, .outcome = View::cleared},
      {.name = "9 MiB announced",
       .replies = {{hostile::response("200 OK", {"Content-Length: " + nineMiB}, paddedTo(9u << 20))}},
       .outcome = View::cleared},
  });
}

// Under Wine a process resolves the service host once and keeps the address, so a refusal is made
// by stopping the server at that address, and the unlisted host comes first, before any lookup.
TEST(HostileService, NoServiceThere) {
  runCases({
      {.name = "host not listed", .outcome = View::cleared, .requests = 0, .hostListed = false},
      {.name = "connection refused", .outcome = View::cleared, .requests = 0, .serverDown = true},
  });
}

// The request target is everything after the host: "/api.php?&w=200&text=WIFI:T:WPA;P:" + password
// + ";S:n;" here, 39 characters around the password. The split keeps at most 2047 of it.
TEST(HostileService, RequestTargetLength) {
  std::string longest(2047 - 39, 'a');
  std::string chinese;
  for (int i = 0; i < 700; ++i) chinese += "中";  // 9 bytes each once encoded
  runCases({
      {.name = "2047 characters",
       .replies = {ok(pngBody())},
       .outcome = View::image,
       .password = longest,
       .target = "/api.php?&w=200&text=WIFI:T:WPA;P:" + longest + ";S:n;"},
      {.name = "2048 characters",
       .replies = {ok(pngBody())},
       .outcome = View::cleared,
       .requests = 0,
       .password = longest + "a"},
      {.name = "700 Chinese characters",
       .replies = {ok(pngBody())},
       .outcome = View::cleared,
       .requests = 0,
       .password = chinese},
  });
}

}  // namespace
