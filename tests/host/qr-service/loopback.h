// A plain TCP client for 127.0.0.1 that sends bytes exactly as given and splits the answer.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct HttpAnswer {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// Sends request, then reads until the server closes or five seconds pass without a byte.
std::string exchangeRaw(int port, std::string_view request);
// Splits one answer; nullopt if it is not a complete HTTP/1.1 answer with a Content-Length.
std::optional<HttpAnswer> parseAnswer(std::string_view raw, size_t* used = nullptr);
// A connection kept open by the caller, who closes it; -1 on failure.
int connectLoopback(int port);
bool sendAll(int fd, std::string_view data);
// Reads until one complete answer has arrived, the server closes, or five idle seconds pass.
std::optional<HttpAnswer> receiveAnswer(int fd);
// True once the server has closed its side, within five seconds.
bool serverCloses(int fd);
// A GET for target over a fresh connection that the client closes after the answer.
std::optional<HttpAnswer> get(int port, std::string_view target);
