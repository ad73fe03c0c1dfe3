// The scripted HTTP server: one thread, one connection at a time, a reply from the script for each.
#include "tests/support/hostile_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <utility>

namespace hostile {

namespace {
// A request head larger than this is answered as it stands: the program's heads are a few KiB.
constexpr std::size_t maxHead = 64 * 1024;

void setTimeout(SOCKET s, int option, DWORD ms) {
  setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms);
}

bool sendAll(SOCKET s, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    int n = send(s, bytes.data() + sent, static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 16)), 0);
    // The program may stop reading and close early (a body over its bound): that ends the reply.
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

std::string response(const std::string& status, const std::vector<std::string>& headers, const std::string& body) {
  std::string r = "HTTP/1.0 " + status + "\r\n";
  for (const std::string& h : headers) r += h + "\r\n";
  return r + "\r\n" + body;
}

Server::Server(const char* address, unsigned short port) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  BOOL reuse = TRUE;
  // A previous test process's connections may still be in TIME_WAIT on this port.
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  inet_pton(AF_INET, address, &at.sin_addr);
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(s, 8) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return;
  }
  listener_ = s;
  thread_ = std::thread([this] { serve(); });
}

Server::~Server() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != noSocket) closesocket(listener_);
  WSACleanup();
}

void Server::script(std::vector<Reply> replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_ = std::move(replies);
  nextReply_ = 0;
}

std::vector<std::string> Server::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t Server::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

void Server::serve() {
  while (!stopping_) {
    // Woken every 50 ms to see whether the test is done with the server.
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener_, &ready);
    timeval wait{0, 50 * 1000};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    answer(client);
  }
}

void Server::answer(Socket client) {
  setTimeout(client, SO_RCVTIMEO, 5000);
  setTimeout(client, SO_SNDTIMEO, 10000);
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < maxHead) {
    int n = recv(client, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<std::size_t>(n));
  }
  Reply reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!head.empty()) requests_.push_back(head.substr(0, head.find("\r\n\r\n")));
    if (!replies_.empty()) {
      reply = replies_[nextReply_];
      if (nextReply_ + 1 < replies_.size()) ++nextReply_;
    }
  }
  if (!head.empty() && sendAll(client, reply.bytes)) {
    if (reply.ending == Ending::reset) {
      linger abort{1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    } else {
      shutdown(client, SD_SEND);
    }
  }
  closesocket(client);
}

}  // namespace hostile
