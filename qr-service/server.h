// The HTTP service: GET /api.php answers a QR image, within fixed limits on threads and request size.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "render.h"

namespace qrservice {

struct ServiceOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0 picks a free port
  ImageFormat format = ImageFormat::png;
  std::FILE* log = nullptr;  // one line per request when set; the caller owns the file
  int keepAliveSeconds = 5;  // how long an idle connection may wait for its next request
  // When set, each log line ends in a tab and "NAME: value" of this request header, or
  // "no NAME" when the request has none: tests of a client see what it sent besides the line.
  std::string logHeader;
};

class Service {
 public:
  explicit Service(ServiceOptions options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The bound port, or -1 if the address cannot be bound.
  int bind();
  // Serves until stop(); false if it was not bound.
  bool run();
  // Safe from any thread; connections in progress finish their current request.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qrservice
