// The service's HTTP side: the route, the bounded connection loop, the worker pool and the request log.

// Debian compiles the request parser into libcpp-httplib.so with these same values, so defining
// them here cannot change what the library enforces. ConnectionStream applies them instead, to
// every byte the parser reads, before the parser can buffer an endless line.
#define CPPHTTPLIB_REQUEST_URI_MAX_LENGTH 8192
#define CPPHTTPLIB_HEADER_MAX_LENGTH 8192
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "query.h"
#include "server.h"

namespace qrservice {

namespace {

using Clock = std::chrono::steady_clock;

// Control bytes are shown as \xHH so that one request stays one log line.
std::string escapeControls(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

constexpr size_t workerThreads = 128;
constexpr size_t queuedConnections = 256;
constexpr int listenBacklog = 128;
constexpr size_t keepAliveRequests = 100;
constexpr int ioTimeoutSeconds = 5;
// A slow sender gets this long per request, however steadily it trickles bytes.
constexpr auto requestDeadline = std::chrono::seconds(10);
constexpr size_t headersTotalLimit = 2 * CPPHTTPLIB_HEADER_MAX_LENGTH;
// One request may read its line, its CRLF and its headers; a body has no use on this route.
constexpr size_t requestReadLimit = CPPHTTPLIB_REQUEST_URI_MAX_LENGTH + 2 + headersTotalLimit;
constexpr size_t payloadLimit = 1024;
constexpr auto pollSlice = std::chrono::milliseconds(100);
constexpr auto idleGraceWhileBusy = std::chrono::seconds(1);
constexpr auto lingerTimeout = std::chrono::seconds(1);
constexpr size_t lingerLimit = 256 * 1024;

// A fixed set of workers and a bounded queue: when it is full the accept loop waits, and new
// connections wait in the kernel's backlog instead of in this process's memory.
class BoundedPool final : public httplib::TaskQueue {
 public:
  BoundedPool(size_t threads, size_t maxQueued, std::atomic<size_t>& waiting)
      : maxQueued_(maxQueued), waiting_(waiting) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
  }

  void enqueue(std::function<void()> fn) override {
    std::unique_lock lock(mutex_);
    spaceFreed_.wait(lock, [&] { return jobs_.size() < maxQueued_ || shuttingDown_; });
    jobs_.push_back(std::move(fn));
    waiting_ = jobs_.size();
    jobAdded_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      shuttingDown_ = true;
    }
    jobAdded_.notify_all();
    spaceFreed_.notify_all();
    for (auto& thread : threads_) thread.join();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock lock(mutex_);
        jobAdded_.wait(lock, [&] { return !jobs_.empty() || shuttingDown_; });
        if (jobs_.empty()) return;
        fn = std::move(jobs_.front());
        jobs_.pop_front();
        waiting_ = jobs_.size();
      }
      spaceFreed_.notify_one();
      fn();
    }
  }

  size_t maxQueued_;
  std::atomic<size_t>& waiting_;
  std::vector<std::thread> threads_;
  std::deque<std::function<void()>> jobs_;
  bool shuttingDown_ = false;
  std::mutex mutex_;
  std::condition_variable jobAdded_;
  std::condition_variable spaceFreed_;
};

// The socket as the parser sees it: buffered, with a byte budget and a deadline per request, and
// the raw request line kept for the log.
class ConnectionStream final : public httplib::Stream {
 public:
  ConnectionStream(int fd, const std::atomic<bool>& stopping, const std::atomic<size_t>& waiting)
      : fd_(fd), stopping_(stopping), waiting_(waiting) {
    int on = 1;
    // The head and the body go out in two writes; Nagle would hold the second for an ACK.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }

  bool is_readable() const override { return begin_ < end_ || waitFor(POLLIN, std::chrono::seconds(ioTimeoutSeconds)); }

  bool is_writable() const override { return waitFor(POLLOUT, std::chrono::seconds(ioTimeoutSeconds)); }

  ssize_t read(char* ptr, size_t size) override {
    if (budget_ == 0) return 0;
    if (begin_ == end_) {
      auto now = Clock::now();
      if (now >= deadline_) return -1;
      auto wait = std::min<Clock::duration>(std::chrono::seconds(ioTimeoutSeconds), deadline_ - now);
      if (!waitFor(POLLIN, wait)) return -1;
      ssize_t n;
      do {
        n = ::recv(fd_, buffer_, sizeof buffer_, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      begin_ = 0;
      end_ = static_cast<size_t>(n);
    }
    size_t count = std::min({size, end_ - begin_, budget_});
    std::memcpy(ptr, buffer_ + begin_, count);
    keepLine(ptr, count);
    begin_ += count;
    budget_ -= count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t n;
    do {
      n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }

  void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }

  socket_t socket() const override { return fd_; }

  // An idle connection keeps its worker only while no other connection waits for one.
  bool waitForRequest(std::chrono::seconds keepAlive) const {
    if (begin_ < end_) return true;
    auto until = Clock::now() + keepAlive;
    auto yieldAfter = Clock::now() + idleGraceWhileBusy;
    for (;;) {
      auto now = Clock::now();
      if (stopping_ || now >= until || (waiting_ > 0 && now >= yieldAfter)) return false;
      if (waitFor(POLLIN, std::min<Clock::duration>(until - now, idleGraceWhileBusy))) return true;
    }
  }

  // After a refused request the client may still be sending: closing with unread bytes would
  // reset the connection and could destroy the answer before the client reads it.
  void lingeringClose() {
    ::shutdown(fd_, SHUT_WR);
    size_t drained = 0;
    while (drained < lingerLimit && waitFor(POLLIN, lingerTimeout)) {
      ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
      if (n <= 0) break;
      drained += static_cast<size_t>(n);
    }
  }

  void beginRequest() {
    budget_ = requestReadLimit;
    deadline_ = Clock::now() + requestDeadline;
    line_.clear();
    lineEnded_ = false;
    lineTruncated_ = false;
  }

  bool budgetSpent() const { return budget_ == 0; }

  std::string loggedLine() const {
    std::string out = escapeControls(line_);
    if (lineTruncated_) out += "...";
    return out;
  }

 private:
  bool waitFor(short events, Clock::duration timeout) const {
    auto until = Clock::now() + timeout;
    for (;;) {
      if (stopping_) return false;
      auto left = until - Clock::now();
      if (left <= Clock::duration::zero()) return false;
      auto slice = std::min<Clock::duration>(left, pollSlice);
      pollfd p{fd_, events, 0};
      int ready = ::poll(&p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
  }

  void keepLine(const char* ptr, size_t count) {
    for (size_t i = 0; i < count && !lineEnded_; ++i) {
      if (ptr[i] == '\n') {
        lineEnded_ = true;
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
      } else if (line_.size() < CPPHTTPLIB_REQUEST_URI_MAX_LENGTH + 1) {
        line_ += ptr[i];
      } else {
        lineTruncated_ = true;
      }
    }
  }

  template <typename Query>
  void address(Query query, std::string& ip, int& port) const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    ip.clear();
    port = -1;
    if (query(fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
      ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
      port = ntohs(v4->sin_port);
    } else if (storage.ss_family == AF_INET6) {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
      ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
      port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  int fd_;
  const std::atomic<bool>& stopping_;
  const std::atomic<size_t>& waiting_;
  char buffer_[4096];
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t budget_ = 0;
  Clock::time_point deadline_;
  std::string line_;
  bool lineEnded_ = false;
  bool lineTruncated_ = false;
};

// The logger only gets the parsed request, which is empty for a request the parser refused; the
// connection being served on this thread holds the line as it arrived.
thread_local const ConnectionStream* currentConnection = nullptr;

class HttpServer final : public httplib::Server {
 public:
  std::atomic<bool> stopping{false};
  std::atomic<size_t> waitingConnections{0};

  void widenBacklog() { ::listen(svr_sock_, listenBacklog); }

 private:
  bool process_and_close_socket(socket_t sock) override {
    ConnectionStream stream(sock, stopping, waitingConnections);
    currentConnection = &stream;
    bool ok = true;
    bool refused = false;
    for (size_t served = 0; served < keepAliveRequests && !stopping; ++served) {
      if (!stream.waitForRequest(std::chrono::seconds(keep_alive_timeout_sec_))) break;
      stream.beginRequest();
      bool closed = false;
      bool parsed = false;
      bool unframed = false;
      // With connections queued, the answer says Connection: close, so that the client knows
      // to reconnect and the worker goes to the next connection in line.
      bool last = served + 1 == keepAliveRequests || waitingConnections > 0;
      ok = process_request(stream, last, closed, [&](httplib::Request& req) {
        parsed = true;
        // The library leaves a GET's body unread, so the next request's start is unknown.
        bool hasBody = req.has_header("Transfer-Encoding") ||
                       (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0");
        if (hasBody && (req.method == "GET" || req.method == "HEAD")) {
          unframed = true;
          req.headers.erase("Connection");
          req.set_header("Connection", "close");
        }
      });
      // After a request the parser refused, the next bytes are not known to start a request.
      refused = !parsed || unframed || stream.budgetSpent();
      if (!ok || closed || refused) break;
    }
    currentConnection = nullptr;
    if (refused) stream.lingeringClose();
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }
};

const char* statusText(int status) {
  switch (status) {
    case 400:
      return "bad request";
    case 404:
      return "not found";
    case 413:
      return "request too large";
    case 414:
      return "request line too long";
    default:
      return status >= 500 ? "internal error" : "error";
  }
}

void answerText(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

struct Service::Impl {
  ServiceOptions options;
  HttpServer server;
  std::mutex logMutex;
  bool bound = false;
  std::atomic<bool> runEntered{false};
  std::atomic<bool> runLeft{false};

  void answerApi(const httplib::Request& req, httplib::Response& res) const {
    std::string_view target = req.target;
    size_t question = target.find('?');
    auto query = parseApiQuery(question == std::string_view::npos ? std::string_view() : target.substr(question + 1));
    if (!query) return answerText(res, 400, "malformed percent escape in the query");
    if (!query->text || query->text->empty()) return answerText(res, 400, "missing text");
    RenderedImage image = renderQr(*query->text, query->width, options.format);
    switch (image.status) {
      case RenderStatus::ok:
        res.status = 200;
        res.body = std::move(image.bytes);
        res.set_header("Content-Type", contentType(options.format));
        return;
      case RenderStatus::emptyText:
        return answerText(res, 400, "missing text");
      case RenderStatus::tooLong:
        return answerText(res, 400, "text too long for a QR code");
      case RenderStatus::failed:
        return answerText(res, 500, "rendering failed");
    }
  }

  void log(const httplib::Request& req, const httplib::Response& res) {
    if (!options.log) return;
    std::string line =
        currentConnection ? currentConnection->loggedLine() : req.method + " " + req.target + " " + req.version;
    size_t bytes = req.method == "HEAD" ? 0 : res.body.size();
    std::string header;
    if (!options.logHeader.empty()) {
      header = req.has_header(options.logHeader)
                   ? "\t" + options.logHeader + ": " + escapeControls(req.get_header_value(options.logHeader))
                   : "\tno " + options.logHeader;
    }
    std::lock_guard lock(logMutex);
    std::fprintf(options.log, "%s %d %zu%s\n", line.c_str(), res.status, bytes, header.c_str());
    std::fflush(options.log);
  }
};

Service::Service(ServiceOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  HttpServer& server = impl_->server;
  Impl* impl = impl_.get();
  server.new_task_queue = [&server] {
    return new BoundedPool(workerThreads, queuedConnections, server.waitingConnections);
  };
  server.set_keep_alive_max_count(keepAliveRequests);
  server.set_keep_alive_timeout(impl_->options.keepAliveSeconds);
  // The library's default adds SO_REUSEPORT, which would let a second instance share the port.
  server.set_socket_options([](socket_t sock) {
    int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  server.set_read_timeout(ioTimeoutSeconds);
  server.set_write_timeout(ioTimeoutSeconds);
  server.set_payload_max_length(payloadLimit);
  server.Get(R"(/api\.php)",
             [impl](const httplib::Request& req, httplib::Response& res) { impl->answerApi(req, res); });
  server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    answerText(res, res.status, statusText(res.status));
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    answerText(res, 500, statusText(500));
  });
  server.set_logger([impl](const httplib::Request& req, const httplib::Response& res) { impl->log(req, res); });
}

Service::~Service() = default;

int Service::bind() {
  HttpServer& server = impl_->server;
  int port = impl_->options.port;
  if (port == 0) {
    port = server.bind_to_any_port(impl_->options.host);
  } else if (!server.bind_to_port(impl_->options.host, port)) {
    port = -1;
  }
  if (port < 0) return -1;
  // The library listens with a backlog of 5, too few for a burst of connections while the
  // workers are busy; Linux accepts a second listen() as a new backlog.
  server.widenBacklog();
  impl_->bound = true;
  return port;
}

bool Service::run() {
  if (!impl_->bound) return false;
  impl_->runEntered = true;
  bool ok = impl_->server.stopping || impl_->server.listen_after_bind();
  impl_->runLeft = true;
  return ok;
}

void Service::stop() {
  // The library asserts on a second stop() while its accept loop winds down.
  if (impl_->server.stopping.exchange(true)) return;
  // stop() before the accept loop has started would be lost, and run() would never return.
  if (impl_->runEntered) {
    for (int i = 0; i < 500 && !impl_->runLeft && !impl_->server.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  impl_->server.stop();
}

}  // namespace qrservice
