// The real server on a loopback port: answers, refusals of malformed requests, and staying up.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "image_decode.h"
#include "loopback.h"
#include "server.h"

namespace {

class RunningService {
public:
    explicit RunningService(qrservice::ImageFormat format, int keepAliveSeconds = 5)
        : service_(qrservice::ServiceOptions{"127.0.0.1", 0, format, nullptr, keepAliveSeconds}) {
        port_ = service_.bind();
        if (port_ > 0) thread_ = std::thread([this] { service_.run(); });
    }
    ~RunningService() {
        service_.stop();
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }

private:
    qrservice::Service service_;
    int port_ = -1;
    std::thread thread_;
};

class ServerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_GT(service.port(), 0); }

    void expectStillServing() {
        auto answer = get(service.port(), "/api.php?&w=200&text=still+here");
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->status, 200);
        auto image = decodeImage(answer->body);
        ASSERT_TRUE(image.has_value());
        auto reading = readQr(*image);
        ASSERT_TRUE(reading.has_value());
        EXPECT_EQ(reading->bytes, "still here");
    }

    RunningService service{qrservice::ImageFormat::png};
};

TEST_F(ServerTest, AnswersTheClientsRequestWithADecodablePng) {
    auto answer = get(service.port(), "/api.php?&w=200&text=WIFI%3AT%3AWPA%3BP%3A%E5%AF%86%5C%3B1%3BS%3Ax%3B%3B");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->headers["content-type"], "image/png");
    EXPECT_EQ(answer->headers["content-length"], std::to_string(answer->body.size()));
    auto image = decodePng(answer->body);
    ASSERT_TRUE(image.has_value());
    EXPECT_LE(image->width, 200);
    auto reading = readQr(*image);
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(reading->bytes, "WIFI:T:WPA;P:密\\;1;S:x;;");
}

TEST_F(ServerTest, HttpTenRequestAsWineSendsIt) {
    std::string request =
        "GET /api.php?&w=200&text=a%20b+c%2Bd HTTP/1.0\r\nHost: qr.example\r\n"
        "User-Agent: Porvanta\r\nAccept: */*\r\n\r\n";
    auto answer = parseAnswer(exchangeRaw(service.port(), request));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    auto reading = readQr(*decodeImage(answer->body));
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(reading->bytes, "a b c+d");
}

TEST_F(ServerTest, WidthIsClampedOverTheWire) {
    for (auto [target, pixels] : {std::pair{"/api.php?w=10&text=Hello", 29},
                                  std::pair{"/api.php?w=5000&text=Hello", 29 * 34}}) {
        auto answer = get(service.port(), target);
        ASSERT_TRUE(answer.has_value()) << target;
        auto image = decodePng(answer->body);
        ASSERT_TRUE(image.has_value()) << target;
        EXPECT_EQ(image->width, pixels) << target;
    }
}

TEST_F(ServerTest, KeepAliveServesPipelinedRequestsOnOneConnection) {
    std::string request = "GET /api.php?text=first HTTP/1.1\r\nHost: x\r\n\r\n"
                          "GET /api.php?text=second HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    std::string raw = exchangeRaw(service.port(), request);
    size_t used = 0;
    auto first = parseAnswer(raw, &used);
    ASSERT_TRUE(first.has_value());
    auto second = parseAnswer(std::string_view(raw).substr(used));
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(readQr(*decodeImage(first->body))->bytes, "first");
    EXPECT_EQ(readQr(*decodeImage(second->body))->bytes, "second");
}

struct Refusal {
    const char* name;
    std::string request;
    int status;
    std::string_view bodyHas;
};

const std::string hostLine = "Host: 127.0.0.1\r\n";

const Refusal refusals[] = {
    {"otherPath", "GET /index.php?text=a HTTP/1.1\r\n" + hostLine + "\r\n", 404, "not found"},
    {"pathPrefix", "GET /api.php.bak?text=a HTTP/1.1\r\n" + hostLine + "\r\n", 404, ""},
    {"postToTheRoute", "POST /api.php?text=a HTTP/1.1\r\n" + hostLine + "Content-Length: 0\r\n\r\n", 404, ""},
    {"textTooLong", "GET /api.php?text=" + std::string(3000, 'a') + " HTTP/1.1\r\n" + hostLine + "\r\n", 400,
     "too long"},
    {"missingText", "GET /api.php?&w=200 HTTP/1.1\r\n" + hostLine + "\r\n", 400, "missing text"},
    {"emptyText", "GET /api.php?&w=200&text= HTTP/1.1\r\n" + hostLine + "\r\n", 400, "missing text"},
    {"badEscape", "GET /api.php?&w=200&text=%zz HTTP/1.1\r\n" + hostLine + "\r\n", 400, "percent"},
    {"truncatedEscape", "GET /api.php?&w=200&text=ab%4 HTTP/1.1\r\n" + hostLine + "\r\n", 400, "percent"},
    {"noPath", "GET\r\n" + hostLine + "\r\n", 400, ""},
    {"noVersion", "GET /api.php?text=a\r\n" + hostLine + "\r\n", 400, ""},
    {"unknownVersion", "GET /api.php?text=a HTTP/7.0\r\n" + hostLine + "\r\n", 400, ""},
    {"emptyLine", "\r\n\r\n", 400, ""},
    {"binary", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), 400, ""},
    {"requestLineTooLong", "GET /api.php?text=" + std::string(9000, 'a') + " HTTP/1.1\r\n" + hostLine + "\r\n",
     414, ""},
    {"requestLineWithoutEnd", "GET /" + std::string(200000, 'a'), 414, ""},
    {"headerLineTooLong", "GET /api.php?text=a HTTP/1.1\r\nX-Big: " + std::string(9000, 'b') + "\r\n\r\n", 400, ""},
    {"headerWithoutEnd", "GET /api.php?text=a HTTP/1.1\r\nX-Big: " + std::string(300000, 'b'), 400, ""},
    {"tooManyHeaders", [] {
         std::string request = "GET /api.php?text=a HTTP/1.1\r\n";
         for (int i = 0; i < 2000; ++i) request += "X-H" + std::to_string(i) + ": " + std::string(40, 'v') + "\r\n";
         return request + "\r\n";
     }(),
     400, ""},
    {"bodyTooLarge", "POST /api.php?text=a HTTP/1.1\r\n" + hostLine + "Content-Length: 100000\r\n\r\n" +
                         std::string(100000, 'x'),
     413, ""},
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class ServerRefusal : public ServerTest, public testing::WithParamInterface<Refusal> {};

TEST_P(ServerRefusal, AnswersWithAnErrorAndKeepsServing) {
    const Refusal& refusal = GetParam();
    auto answer = parseAnswer(exchangeRaw(service.port(), refusal.request));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, refusal.status);
    EXPECT_EQ(answer->headers["content-type"].rfind("text/plain", 0), 0u);
    EXPECT_NE(answer->body.find(refusal.bodyHas), std::string::npos) << answer->body;
    expectStillServing();
}

INSTANTIATE_TEST_SUITE_P(Malformed, ServerRefusal, testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerTest, ARefusedRequestLineEndsTheConnection) {
    // Were the connection kept, the headers after a broken request line would be read as requests.
    std::string raw = exchangeRaw(service.port(), "GET\r\nHost: x\r\nAccept: */*\r\n\r\n");
    size_t used = 0;
    auto answer = parseAnswer(raw, &used);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 400);
    EXPECT_EQ(used, raw.size());
}

TEST_F(ServerTest, AGetWithABodyIsAnsweredOnceAndTheConnectionClosed) {
    // The body looks like a second request; serving it would let a client slip requests past the log.
    std::string hidden = "GET /api.php?text=hidden HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string request = "GET /api.php?text=shown HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                          std::to_string(hidden.size()) + "\r\n\r\n" + hidden;
    std::string raw = exchangeRaw(service.port(), request);
    size_t used = 0;
    auto answer = parseAnswer(raw, &used);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->headers["connection"], "close");
    EXPECT_EQ(readQr(*decodeImage(answer->body))->bytes, "shown");
    EXPECT_EQ(used, raw.size());
}

TEST_F(ServerTest, StopsReadingAnEndlessHeaderWhileTheClientKeepsSending) {
    // Were every byte read, the parser would hold the whole line in memory; the server must give
    // up after its limit and close, which makes the sender fail long before it has sent it all.
    constexpr size_t offered = 64 * 1024 * 1024;
    int fd = connectLoopback(service.port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, "GET /api.php?text=a HTTP/1.1\r\nX-Endless: "));
    const std::string chunk(64 * 1024, 'e');
    size_t sent = 0;
    while (sent < offered && sendAll(fd, chunk)) sent += chunk.size();
    ::close(fd);
    EXPECT_LT(sent, offered / 4);
    expectStillServing();
}

TEST_F(ServerTest, ManyClientsAtOnceAreAllServed) {
    // More clients than worker threads and queue places together, so the accept loop must wait.
    constexpr int clients = 100;
    std::vector<std::thread> threads;
    std::vector<int> statuses(clients, 0);
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            auto answer = get(service.port(), "/api.php?text=client" + std::to_string(i));
            if (answer && decodePng(answer->body)) statuses[i] = answer->status;
        });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < clients; ++i) EXPECT_EQ(statuses[i], 200) << "client " << i;
}

TEST(ServerJpeg, AnswersAJpegThatDecodes) {
    RunningService service(qrservice::ImageFormat::jpeg);
    ASSERT_GT(service.port(), 0);
    auto answer = get(service.port(), "/api.php?&w=300&text=%E4%B8%AD%E6%96%87");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->headers["content-type"], "image/jpeg");
    auto image = decodeJpeg(answer->body);
    ASSERT_TRUE(image.has_value());
    EXPECT_LE(image->width, 300);
    EXPECT_EQ(image->width, image->height);
    EXPECT_EQ(readQr(*image)->bytes, "中文");
}

TEST(ServerStop, DoesNotWaitForAnIdleKeptAliveConnection) {
    int fd = -1;
    {
        // Waiting out this keep-alive would outlast the test's time limit.
        RunningService service(qrservice::ImageFormat::png, 3600);
        ASSERT_GT(service.port(), 0);
        fd = connectLoopback(service.port());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sendAll(fd, "GET /api.php?text=a HTTP/1.1\r\nHost: x\r\n\r\n"));
        auto answer = receiveAnswer(fd);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->status, 200);
    }
    EXPECT_TRUE(serverCloses(fd));
    ::close(fd);
}

}  // namespace
