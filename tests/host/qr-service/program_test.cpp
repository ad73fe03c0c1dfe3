// The qr-service program as scripts run it: options, the ready line, the log, and stopping on a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "image_decode.h"
#include "loopback.h"

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's stdout and stderr
};

Child spawn(std::vector<std::string> args) {
    args.insert(args.begin(), QR_SERVICE_PROGRAM);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Everything the child writes until it closes its output or ten quiet seconds pass.
std::string readOutput(const Child& child, std::string_view until = {}) {
    std::string text;
    char buffer[4096];
    for (int chunk = 0; chunk < 1000; ++chunk) {
        if (!until.empty() && text.find(until) != std::string::npos) break;
        pollfd p{child.out, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        ssize_t n = ::read(child.out, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// The exit status, or -1 if the child has not ended within ten seconds (it is then killed).
int waitForExit(Child& child) {
    int status = 0;
    for (int tick = 0; tick < 1000; ++tick) {
        if (::waitpid(child.pid, &status, WNOHANG) == child.pid) {
            ::close(child.out);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child.pid, SIGKILL);
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    return -1;
}

// The port from "listening on 127.0.0.1:PORT", or -1.
int readyPort(const Child& child) {
    std::string text = readOutput(child, "\n");
    std::string prefix = "listening on 127.0.0.1:";
    if (text.rfind(prefix, 0) != 0) return -1;
    return std::atoi(text.c_str() + prefix.size());
}

std::vector<std::string> logLines(const std::string& path, size_t atLeast) {
    std::vector<std::string> lines;
    // The log line is written after the answer, so the client may look a moment too early.
    for (int tries = 0; tries < 500 && lines.size() < atLeast; ++tries) {
        if (tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream file(path);
        lines.clear();
        for (std::string line; std::getline(file, line);) lines.push_back(line);
    }
    return lines;
}

TEST(Program, HelpStatesTheDefaults) {
    Child child = spawn({"--help"});
    std::string help = readOutput(child);
    EXPECT_EQ(waitForExit(child), 0);
    for (const char* fact : {"127.0.0.1:80 as root", "127.0.0.1:8080", "--format png|jpeg", "--log FILE",
                             "--log-header NAME", "50..1000", "default 200", "level M"}) {
        EXPECT_NE(help.find(fact), std::string::npos) << fact;
    }
}

TEST(Program, RefusesBadOptions) {
    const std::vector<std::vector<std::string>> cases = {
        {"--format", "gif"}, {"--listen", "127.0.0.1"}, {"--listen", "127.0.0.1:65536"},
        {"--listen", ":80"}, {"--listen", "127.0.0.1:8x"}, {"--log"}, {"--log-header", ""}, {"--unknown", "1"},
    };
    for (const auto& args : cases) {
        Child child = spawn(args);
        std::string output = readOutput(child);
        EXPECT_EQ(waitForExit(child), 2) << args[0];
        EXPECT_NE(output.find("Usage:"), std::string::npos) << args[0];
    }
}

TEST(Program, FailsWhenThePortIsTaken) {
    Child first = spawn({"--listen", "127.0.0.1:0"});
    int port = readyPort(first);
    ASSERT_GT(port, 0);
    Child second = spawn({"--listen", "127.0.0.1:" + std::to_string(port)});
    std::string output = readOutput(second);
    EXPECT_EQ(waitForExit(second), 1);
    EXPECT_NE(output.find("cannot listen"), std::string::npos);
    ::kill(first.pid, SIGTERM);
    EXPECT_EQ(waitForExit(first), 0);
}

class ProgramSignal : public testing::TestWithParam<int> {};

TEST_P(ProgramSignal, ServesJpegLogsEachRequestAndStopsCleanly) {
    std::string logPath = testing::TempDir() + "qr-service-log-" + std::to_string(::getpid()) + "-" +
                          std::to_string(GetParam()) + ".txt";
    std::remove(logPath.c_str());
    Child child = spawn({"--listen", "127.0.0.1:0", "--format", "jpeg", "--log", logPath});
    int port = readyPort(child);
    ASSERT_GT(port, 0);

    const std::string target = "/api.php?&w=200&text=a%20b+c%E4%B8%AD%5C%3B";
    auto answer = get(port, target);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->headers["content-type"], "image/jpeg");
    auto image = decodeJpeg(answer->body);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(readQr(*image)->bytes, "a b c中\\;");

    auto refused = parseAnswer(exchangeRaw(port, std::string("GET\x01\r\n\r\n")));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->status, 400);

    // Open while the signal arrives: stopping must not wait for this client.
    int idle = connectLoopback(port);
    ASSERT_GE(idle, 0);

    auto lines = logLines(logPath, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "GET " + target + " HTTP/1.1 200 " + std::to_string(answer->body.size()));
    EXPECT_EQ(lines[1], "GET\\x01 400 " + std::to_string(refused->body.size()));

    ::kill(child.pid, GetParam());
    EXPECT_EQ(waitForExit(child), 0);
    ::close(idle);
    std::remove(logPath.c_str());
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignal, testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "sigterm" : "sigint"; });

TEST(Program, LogsTheNamedHeaderOfEachRequest) {
    std::string logPath = testing::TempDir() + "qr-service-header-log-" + std::to_string(::getpid()) + ".txt";
    std::remove(logPath.c_str());
    Child child = spawn({"--listen", "127.0.0.1:0", "--log", logPath, "--log-header", "User-Agent"});
    int port = readyPort(child);
    ASSERT_GT(port, 0);
    const std::string target = "/api.php?&w=200&text=a";
    const char* sent[] = {
        "User-Agent: Mozilla/4.0 (compatible; x)\r\n",
        "",
        "user-agent: tab\there\r\n",
    };
    std::vector<size_t> bodies;
    for (const char* header : sent) {
        auto answer = parseAnswer(exchangeRaw(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + header +
                                                        "Connection: close\r\n\r\n"));
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->status, 200);
        bodies.push_back(answer->body.size());
    }
    auto lines = logLines(logPath, 3);
    ASSERT_EQ(lines.size(), 3u);
    std::string head = "GET " + target + " HTTP/1.1 200 ";
    EXPECT_EQ(lines[0], head + std::to_string(bodies[0]) + "\tUser-Agent: Mozilla/4.0 (compatible; x)");
    EXPECT_EQ(lines[1], head + std::to_string(bodies[1]) + "\tno User-Agent");
    EXPECT_EQ(lines[2], head + std::to_string(bodies[2]) + "\tUser-Agent: tab\\x09here");
    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(waitForExit(child), 0);
    std::remove(logPath.c_str());
}

}  // namespace
