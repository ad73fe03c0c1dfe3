// What the GUI tests and the demo compare the program against, computed without the program's code:
// the expected request, the service's answer fetched again, the view it should show, a real QR reading.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oracle {

// Text in code page 936 (as typed into the window) as UTF-8; empty if it is no valid 936 text.
std::string utf8FromCp936(const std::string& text);

// The request target for a network name and password typed in code page 936: each field's UTF-8
// with a backslash before \ ; , : " and then every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( ) as %XX.
std::string expectedTarget(const std::string& name, const std::string& password);

// One line of the service's request log: "REQUEST-LINE STATUS BYTES\tUser-Agent: ...".
struct LoggedRequest {
  std::string requestLine;
  int status = 0;
  std::string userAgent;  // empty when the request sent none
};
std::optional<LoggedRequest> parseLogLine(const std::string& line);

// The User-Agent of fetch's own requests, so that the log's other lines are the program's.
inline constexpr char fetchUserAgent[] = "porvanta-test-oracle";
// The requests of a service log's lines, from index `from` on, that fetch did not send.
std::vector<LoggedRequest> programRequests(const std::vector<std::string>& log, size_t from = 0);

// GET target from address port 80 over a plain socket, Host being the service host; the body of
// a 200 answer, or nullopt.
std::optional<std::string> fetch(const char* address, const std::string& target);

// The picture view's expected pixels (0x00RRGGBB, top-down): the image unscaled at the top left,
// blended over the button face, the rest button face. Empty when the bytes decode to no image.
inline constexpr int viewLeft = 96, viewTop = 176, viewSize = 205;
std::vector<std::uint32_t> expectedView(const std::string& imageBytes);
// The picture view's pixels as they are on the screen now; empty when the window is too small.
std::vector<std::uint32_t> viewPixels(HWND main);

// Files by Unix path, through Wine's Z: drive.
bool writeFile(const std::string& unixPath, const std::string& bytes);
std::optional<std::string> readFile(const std::string& unixPath);
std::vector<std::string> readLines(const std::string& unixPath);

// Runs a Linux program through `start /wait /unix` and waits for start to end (the program's
// exit code does not come back); false if it could not be started or did not end in time.
bool runUnix(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 30000);
// What a real QR decoder (qr-decode on the Linux side) reads from the image file: the symbol's
// bytes; nullopt when it reads no QR code there.
std::optional<std::string> readQr(const std::string& imageUnixPath);

}  // namespace oracle
