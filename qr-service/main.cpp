// The qr-service program: command line, signals, and the "listening on" line scripts wait for.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "query.h"
#include "server.h"

namespace {

struct CommandLine {
  qrservice::ServiceOptions service;
  std::string logPath;
  bool help = false;
};

int defaultPort() {
  return ::geteuid() == 0 ? 80 : 8080;
}

void printUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qr-service [--listen ADDR:PORT] [--format png|jpeg] [--log FILE] [--log-header NAME]\n"
               "Answers GET /api.php?w=WIDTH&text=TEXT with a QR code image of TEXT.\n"
               "\n"
               "  --listen ADDR:PORT  address to serve on; port 0 picks a free one\n"
               "                      (default 127.0.0.1:80 as root, else 127.0.0.1:8080)\n"
               "  --format png|jpeg   image format of the answers (default png)\n"
               "  --log FILE          append one line per request: request line, status, body bytes\n"
               "  --log-header NAME   end each log line in a tab and \"NAME: value\" of that request\n"
               "                      header, or \"no NAME\" when the request has none\n"
               "  --help              show this text\n"
               "\n"
               "w is clamped to %d..%d pixels (default %d); error correction level M.\n",
               qrservice::minWidth, qrservice::maxWidth, qrservice::defaultWidth);
}

bool parseListen(const std::string& value, qrservice::ServiceOptions& options) {
  size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == value.size()) return false;
  std::string host = value.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::string port = value.substr(colon + 1);
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  int number = std::stoi(port);
  if (number > 65535) return false;
  options.host = host;
  options.port = number;
  return true;
}

std::optional<CommandLine> parseCommandLine(int argc, char** argv) {
  CommandLine line;
  line.service.port = defaultPort();
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      line.help = true;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    std::string value = argv[++i];
    if (option == "--listen") {
      if (!parseListen(value, line.service)) return std::nullopt;
    } else if (option == "--format") {
      if (value == "png")
        line.service.format = qrservice::ImageFormat::png;
      else if (value == "jpeg")
        line.service.format = qrservice::ImageFormat::jpeg;
      else
        return std::nullopt;
    } else if (option == "--log") {
      line.logPath = value;
    } else if (option == "--log-header") {
      if (value.empty()) return std::nullopt;
      line.service.logHeader = value;
    } else {
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  auto line = parseCommandLine(argc, argv);
  if (!line) {
    printUsage(stderr);
    return 2;
  }
  if (line->help) {
    printUsage(stdout);
    return 0;
  }
  std::FILE* log = nullptr;
  if (!line->logPath.empty()) {
    log = std::fopen(line->logPath.c_str(), "a");
    if (!log) {
      std::fprintf(stderr, "qr-service: cannot open %s: %s\n", line->logPath.c_str(), std::strerror(errno));
      return 1;
    }
    line->service.log = log;
  }

  // Blocked before any thread starts, so that only the waiting thread below ever takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  qrservice::Service service(line->service);
  int port = service.bind();
  if (port < 0) {
    std::fprintf(stderr, "qr-service: cannot listen on %s:%d\n", line->service.host.c_str(), line->service.port);
    return 1;
  }
  std::thread signalWaiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.stop();
  });
  std::printf("listening on %s:%d\n", line->service.host.c_str(), port);
  std::fflush(stdout);

  bool ok = service.run();
  // Wakes the waiter if the service ended on its own; after a signal it has already returned.
  ::kill(::getpid(), SIGTERM);
  signalWaiter.join();
  if (log) std::fclose(log);
  return ok ? 0 : 1;
}
