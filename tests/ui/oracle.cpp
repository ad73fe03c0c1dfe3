// The oracles: code page conversion, percent-encoding, a Winsock client, the view's pixels, qr-decode.
// winsock2.h must come before windows.h, which the header brings.
#include <winsock2.h>

#include "tests/ui/oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "imaging/image.h"
#include "tests/ui/driver.h"

namespace oracle {

std::string utf8FromCp936(const std::string& text) {
  if (text.empty()) return {};
  int wide = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return {};
  std::wstring w(wide, L'\0');
  MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), w.data(), wide);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

namespace {

std::string wifiEscaped(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\\' || c == ';' || c == ',' || c == ':' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string percentEncoded(const std::string& bytes) {
  static const std::string unreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.!~*'()";
  std::string out;
  for (unsigned char c : bytes) {
    if (unreserved.find(static_cast<char>(c)) != std::string::npos) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string field(const std::string& cp936) {
  return percentEncoded(wifiEscaped(utf8FromCp936(cp936)));
}

}  // namespace

std::string expectedTarget(const std::string& name, const std::string& password) {
  return "/api.php?&w=200&text=WIFI:T:WPA;P:" + field(password) + ";S:" + field(name) + ";";
}

std::optional<LoggedRequest> parseLogLine(const std::string& line) {
  size_t tab = line.find('\t');
  std::string head = line.substr(0, tab);
  size_t bytesAt = head.rfind(' ');
  if (bytesAt == std::string::npos || bytesAt == 0) return std::nullopt;
  size_t statusAt = head.rfind(' ', bytesAt - 1);
  if (statusAt == std::string::npos) return std::nullopt;
  LoggedRequest r;
  r.requestLine = head.substr(0, statusAt);
  r.status = std::atoi(head.c_str() + statusAt + 1);
  const std::string agent = "User-Agent: ";
  if (tab != std::string::npos && line.compare(tab + 1, agent.size(), agent) == 0)
    r.userAgent = line.substr(tab + 1 + agent.size());
  return r;
}

std::vector<LoggedRequest> programRequests(const std::vector<std::string>& log, size_t from) {
  std::vector<LoggedRequest> requests;
  for (size_t i = from; i < log.size(); ++i) {
    std::optional<LoggedRequest> r = parseLogLine(log[i]);
    if (r && r->userAgent != fetchUserAgent) requests.push_back(*r);
  }
  return requests;
}

std::optional<std::string> fetch(const char* address, const std::string& target) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return std::nullopt;
  std::optional<std::string> body;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) {
    DWORD timeoutMs = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(80);
    to.sin_addr.s_addr = inet_addr(address);
    std::string request =
        "GET " + target + " HTTP/1.0\r\nHost: " + ui::serviceHost() + "\r\nUser-Agent: " + fetchUserAgent + "\r\n\r\n";
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
      std::string answer;
      char buf[8192];
      for (int got; (got = recv(s, buf, sizeof buf, 0)) > 0;) answer.append(buf, got);
      size_t end = answer.find("\r\n\r\n");
      if (end != std::string::npos && answer.compare(0, 9, "HTTP/1.1 ") == 0 && answer.compare(9, 3, "200") == 0)
        body = answer.substr(end + 4);
    }
    closesocket(s);
  }
  WSACleanup();
  return body;
}

std::vector<std::uint32_t> expectedView(const std::string& imageBytes) {
  std::optional<Bitmap> image =
      decodeImage(reinterpret_cast<const unsigned char*>(imageBytes.data()), imageBytes.size());
  if (!image) return {};
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  blendOver(*image, GetRValue(face), GetGValue(face), GetBValue(face));
  std::uint32_t background = (std::uint32_t{GetRValue(face)} << 16) | (GetGValue(face) << 8) | GetBValue(face);
  std::vector<std::uint32_t> view(static_cast<size_t>(viewSize) * viewSize, background);
  for (int y = 0; y < std::min(image->height, viewSize); ++y)
    for (int x = 0; x < std::min(image->width, viewSize); ++x)
      view[static_cast<size_t>(y) * viewSize + x] = image->pixels[static_cast<size_t>(y) * image->width + x] & 0xFFFFFF;
  return view;
}

bool writeFile(const std::string& unixPath, const std::string& bytes) {
  HANDLE f = CreateFileA(ui::winPath(unixPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
  CloseHandle(f);
  return ok;
}

std::optional<std::string> readFile(const std::string& unixPath) {
  HANDLE f = CreateFileA(ui::winPath(unixPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string all;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) all.append(buf, got);
  CloseHandle(f);
  return all;
}

std::vector<std::string> readLines(const std::string& unixPath) {
  std::vector<std::string> lines;
  std::string all = readFile(unixPath).value_or("");
  for (size_t start = 0, nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(all.substr(start, nl - start));
  return lines;
}

bool runUnix(const std::string& program, const std::vector<std::string>& args, int timeoutMs) {
  std::string command = "start.exe /wait /unix " + program;
  for (const std::string& arg : args) command += " " + arg;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  bool ended = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  return ended;
}

std::optional<std::string> readQr(const std::string& imageUnixPath) {
  std::string out = imageUnixPath + ".qr.txt", error = out + ".error";
  DeleteFileA(ui::winPath(out).c_str());
  DeleteFileA(ui::winPath(error).c_str());
  if (!runUnix(PORVANTA_QR_DECODE, {imageUnixPath, out})) return std::nullopt;
  // start may return before the Linux program has ended; qr-decode writes one of the two files whole.
  std::optional<std::string> reading;
  ui::pollUntil([&] { return (reading = readFile(out)) || readFile(error); }, 30000);
  DeleteFileA(ui::winPath(out).c_str());
  DeleteFileA(ui::winPath(error).c_str());
  return reading;
}

std::vector<std::uint32_t> viewPixels(HWND main) {
  ui::Capture shot = ui::capture(main);
  std::vector<std::uint32_t> view;
  if (shot.width < viewLeft + viewSize || shot.height < viewTop + viewSize) return view;
  for (int y = 0; y < viewSize; ++y)
    for (int x = 0; x < viewSize; ++x) view.push_back(shot.at(viewLeft + x, viewTop + y));
  return view;
}

}  // namespace oracle
