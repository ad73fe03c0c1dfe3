// A scripted HTTP server inside the test process: each connection gets the next scripted reply,
// byte for byte, so a test can answer the program the way a broken or hostile service would.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hostile {

// How the server ends a connection once its reply is out: a FIN after the bytes, or a reset.
enum class Ending { close, reset };

struct Reply {
  std::string bytes;  // status line, headers and body exactly as sent
  Ending ending = Ending::close;
};

// "HTTP/1.0 " + status + "\r\n", the header lines, a blank line, the body.
std::string response(const std::string& status, const std::vector<std::string>& headers, const std::string& body);

class Server {
 public:
  // Listens on address:port; listening() says whether that worked.
  explicit Server(const char* address, unsigned short port = 80);
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server();

  bool listening() const { return listener_ != noSocket; }
  // The replies for the coming connections, in order; the last one answers every later connection.
  void script(std::vector<Reply> replies);
  // The head (request line and header lines) of every request received so far, oldest first.
  std::vector<std::string> requests() const;
  std::size_t requestCount() const;

 private:
  // A Winsock SOCKET, kept as its integer type so that users need not include Winsock first.
  using Socket = std::uintptr_t;
  static constexpr Socket noSocket = ~Socket{0};

  void serve();
  void answer(Socket client);

  Socket listener_ = noSocket;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<Reply> replies_;
  std::size_t nextReply_ = 0;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace hostile
