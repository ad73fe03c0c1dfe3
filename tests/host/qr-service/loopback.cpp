// Loopback socket helpers for the server tests.
#include "loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace {

// Appends what arrives within five seconds; false when the server closed or nothing came.
bool receiveSome(int fd, std::string& into) {
    char buffer[16384];
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return false;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
}

}  // namespace

int connectLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, std::string_view data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::optional<HttpAnswer> receiveAnswer(int fd) {
    std::string raw;
    for (int chunk = 0; chunk < 10000; ++chunk) {
        if (auto answer = parseAnswer(raw)) return answer;
        if (!receiveSome(fd, raw)) break;
    }
    return parseAnswer(raw);
}

bool serverCloses(int fd) {
    for (int chunk = 0; chunk < 10000; ++chunk) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
    }
    return false;
}

std::string exchangeRaw(int port, std::string_view request) {
    int fd = connectLoopback(port);
    if (fd < 0) return {};
    std::string answer;
    sendAll(fd, request);
    ::shutdown(fd, SHUT_WR);
    for (int chunk = 0; chunk < 100000 && receiveSome(fd, answer); ++chunk) {
    }
    ::close(fd);
    return answer;
}

std::optional<HttpAnswer> parseAnswer(std::string_view raw, size_t* used) {
    size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string_view::npos || raw.substr(0, 9) != "HTTP/1.1 ") return std::nullopt;
    HttpAnswer answer;
    answer.status = std::stoi(std::string(raw.substr(9, 3)));
    size_t lineStart = raw.find("\r\n") + 2;
    while (lineStart < headEnd) {
        size_t lineEnd = raw.find("\r\n", lineStart);
        std::string_view line = raw.substr(lineStart, lineEnd - lineStart);
        size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            std::string name(line.substr(0, colon));
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            answer.headers[name] = std::string(value);
        }
        lineStart = lineEnd + 2;
    }
    auto length = answer.headers.find("content-length");
    if (length == answer.headers.end()) return std::nullopt;
    size_t bodyLength = std::stoul(length->second);
    if (raw.size() < headEnd + 4 + bodyLength) return std::nullopt;
    answer.body = std::string(raw.substr(headEnd + 4, bodyLength));
    if (used) *used = headEnd + 4 + bodyLength;
    return answer;
}

std::optional<HttpAnswer> get(int port, std::string_view target) {
    std::string request = "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    return parseAnswer(exchangeRaw(port, request));
}
