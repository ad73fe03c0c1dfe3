// downloadBytes over WinINet: canonicalise, split, connect, one GET, read the body in chunks.
#include "platform/download.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/http.h"
#include "platform/handles.h"
#include "platform/internet_handle.h"

namespace {

constexpr char userAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char extraHeaders[] = "Accept: */*\r\n\r\n";
// The longest URL the platform's classic limit allows, terminator included.
constexpr DWORD canonicalBufferSize = 2084;

// Opened by the first download that gets that far; a failed open is tried again next time.
UniqueInternet rootHandle;

std::string canonicalise(const Text& url) {
  std::string canonical(canonicalBufferSize, '\0');
  DWORD size = canonicalBufferSize;
  if (!InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &size, ICU_NO_ENCODE)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    // The platform asked for this many bytes: one more try with exactly that.
    canonical.assign(size + 1, '\0');
    if (!InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &size, ICU_NO_ENCODE)) return {};
  }
  canonical.resize(size);
  return canonical;
}

struct UrlParts {
  // Sizes include the terminator: a component that does not fit fails the split.
  char host[256] = "";
  char path[2048] = "";  // the path with its query: no separate buffer is given for extra info
  char user[128] = "";
  char password[128] = "";
  INTERNET_PORT port = 0;
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
};

bool split(const std::string& url, UrlParts& parts) {
  URL_COMPONENTSA c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = parts.host;
  c.dwHostNameLength = sizeof parts.host;
  c.lpszUrlPath = parts.path;
  c.dwUrlPathLength = sizeof parts.path;
  c.lpszUserName = parts.user;
  c.dwUserNameLength = sizeof parts.user;
  c.lpszPassword = parts.password;
  c.dwPasswordLength = sizeof parts.password;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &c)) return false;
  parts.port = c.nPort;
  parts.scheme = c.nScheme;
  return true;
}

void setProxyOptions(HINTERNET connection) {
  // Results ignored: the request goes out whether or not the platform takes these.
  INTERNET_PROXY_INFO proxy{INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr};
  InternetSetOptionA(rootHandle.get(), INTERNET_OPTION_PROXY, &proxy, sizeof proxy);
  char empty[1] = "";
  InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, empty, 1);
  InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, empty, 1);
}

Bytes readBody(HINTERNET request) {
  char length[32] = "";
  DWORD lengthSize = sizeof length;
  bool known = HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr);
  std::size_t chunk = chunkSizeFor(known ? length : nullptr);
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[chunk]);
  Bytes body;
  if (!buffer) return body;
  for (;;) {
    DWORD got = 0;
    // A failure keeps what has arrived, the failing read's own bytes included: when a reset ends
    // the connection, Wine's read hands over the bytes it had buffered and then reports the error.
    bool read = InternetReadFile(request, buffer.get(), static_cast<DWORD>(chunk), &got);
    if (body.size() + got > maxBodyBytes) return Bytes();
    body.insert(body.end(), buffer.get(), buffer.get() + got);
    // Success with nothing read is the end of the body.
    if (!read || got == 0) break;
  }
  return body;
}

}  // namespace

Bytes downloadBytes(const Text& url) {
  if (url.empty()) return Bytes();
  std::string canonical = canonicalise(url);
  UrlParts parts;
  if (canonical.empty() || !split(canonical, parts)) return Bytes();
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (parts.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  else if (parts.scheme != INTERNET_SCHEME_HTTP) return Bytes();

  if (!rootHandle) rootHandle.reset(InternetOpenA(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!rootHandle) return Bytes();
  UniqueInternet connection(InternetConnectA(rootHandle.get(), parts.host, parts.port, parts.user, parts.password,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return Bytes();
  setProxyOptions(connection.get());

  // Nothing from a '#' on is sent: it starts the fragment.
  if (char* hash = std::strchr(parts.path, '#')) *hash = '\0';
  const char* acceptTypes[] = {"*/*", nullptr};
  // Declared after the connection, so it is closed first.
  UniqueInternet request(
      HttpOpenRequestA(connection.get(), "GET", parts.path, "HTTP/1.0", nullptr, acceptTypes, flags, 0));
  if (!request) return Bytes();
  if (!HttpSendRequestA(request.get(), extraHeaders, sizeof extraHeaders - 1, nullptr, 0)) return Bytes();
  return readBody(request.get());
}
