// ostrel-cli as a process: two of them call each other with file audio.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ToneAudio.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ToneMeter.h"

using namespace enginetest;
using ostrel::test::toneLevel;

namespace {

struct CliRun {
    int status = -1;
    std::vector<std::string> lines;

    bool has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // The lines without the counters printed for every datagram and block.
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const auto& l : lines) {
            if (l.rfind("1 ", 0) != 0 && l.rfind("2 ", 0) != 0 && l.rfind("4 ", 0) != 0 &&
                l.rfind("5 ", 0) != 0) {
                out.push_back(l);
            }
        }
        return out;
    }
};

CliRun run(const std::string& environment, const std::string& args) {
    const std::string command = environment + " " + CLI_PROGRAM + " " + args + " 2>/dev/null";
    CliRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string s(buffer);
        if (!s.empty() && s.back() == '\n') {
            s.pop_back();
        }
        r.lines.push_back(s);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// A UDP port that was free a moment ago.
int freePort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A TCP port that takes connections into its backlog and never answers.
struct MuteTcpServer {
    int fd = -1;
    int port = 0;
    MuteTcpServer() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~MuteTcpServer() { close(fd); }
};

std::string mapsOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t threadsOf(pid_t pid) {
    std::error_code error;
    const std::filesystem::directory_iterator tasks("/proc/" + std::to_string(pid) + "/task",
                                                    error);
    return error ? 0 : static_cast<size_t>(std::distance(tasks, {}));
}

// Polls `done` for up to five seconds.
bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

std::string audio(const Scratch& dir, const std::string& name) {
    return "OSTREL_CAPTURE_FILE=" + dir.file(name + "-mic.wav") +
           " OSTREL_PLAYBACK_FILE=" + dir.file(name + "-played.wav");
}

}  // namespace

TEST(CliProgram, TwoProcessesTalkAndPrintTheirNotifications) {
    Scratch dir;
    writeWav(dir.file("alice-mic.wav"), tone(440, 6));
    writeWav(dir.file("bob-mic.wav"), tone(1000, 6));
    const int bobPort = freePort();
    const int alicePort = freePort();
    auto bob = std::async(std::launch::async, [&] {
        return run(audio(dir, "bob"),
                   "--port " + std::to_string(bobPort) + " --user bob --seconds 5");
    });
    usleep(300000);
    const CliRun alice =
        run(audio(dir, "alice"), "--port " + std::to_string(alicePort) +
                                     " --user alice --call 127.0.0.1:" + std::to_string(bobPort) +
                                     " --expect-user bob --seconds 3");
    const CliRun b = bob.get();

    EXPECT_EQ(alice.status, 0);
    EXPECT_EQ(b.status, 0);
    const auto aliceEvents = alice.events();
    ASSERT_GE(aliceEvents.size(), 3u);
    EXPECT_EQ(aliceEvents[0], "25 RINGING");
    EXPECT_EQ(aliceEvents[1], "7 CALL_ACTIVE");
    EXPECT_EQ(aliceEvents[2], "23 PEER_JOINED name=bob version=6");
    EXPECT_TRUE(alice.has("26 PEER_DISCONNECTED name=bob"));
    const auto bobEvents = b.events();
    ASSERT_GE(bobEvents.size(), 5u);
    EXPECT_EQ(bobEvents[0], "9 INCOMING_CALL name=alice");
    EXPECT_EQ(bobEvents[1], "7 CALL_ACTIVE");
    EXPECT_EQ(bobEvents[2], "23 PEER_JOINED name=alice version=6");
    // Alice stopped first: for bob the call is over.
    EXPECT_TRUE(b.has("12 CONNECTION_LOST"));

    const auto aliceHeard = audiblePart(readWav(dir.file("alice-played.wav")));
    const auto bobHeard = audiblePart(readWav(dir.file("bob-played.wav")));
    EXPECT_GT(toneLevel(aliceHeard, 1000), 1000);
    EXPECT_LT(toneLevel(aliceHeard, 440), 400);
    EXPECT_GT(toneLevel(bobHeard, 440), 1000);
    EXPECT_LT(toneLevel(bobHeard, 1000), 400);
}

TEST(CliProgram, RejectedCallExitsWithOneAndBadOptionsWithTwo) {
    const int bobPort = freePort();
    auto bob = std::async(std::launch::async, [&] {
        return run("OSTREL_AUDIO=none",
                   "--port " + std::to_string(bobPort) + " --answer reject --seconds 2");
    });
    usleep(300000);
    const CliRun alice =
        run("OSTREL_AUDIO=none",
            "--port 0 --call 127.0.0.1:" + std::to_string(bobPort) + " --seconds 10");
    const CliRun b = bob.get();
    EXPECT_EQ(alice.status, 1);
    EXPECT_EQ(alice.events(),
              (std::vector<std::string>{"25 RINGING", "24 CONNECT_FAILED address=127.0.0.1 port=" +
                                                          std::to_string(bobPort)}));
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(b.events(), std::vector<std::string>{"9 INCOMING_CALL name=UNKNOWN"});

    const CliRun bad = run("", "--answer sometimes");
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.lines.empty());  // the usage goes to standard error
}

TEST(CliProgram, HttpLibraryIsLoadedOnlyForTheService) {
    // The engine's threads run only once the loader has mapped everything the program links.
    ostrel::test::ChildProcess plain(CLI_PROGRAM, {"--port", "0", "--seconds", "5"},
                                     {{"OSTREL_AUDIO", "none"}});
    ASSERT_TRUE(plain.started());
    ASSERT_TRUE(eventually([&] { return threadsOf(plain.pid()) > 1; }));
    const std::string maps = mapsOf(plain.pid());
    EXPECT_NE(maps.find("libgsm"), std::string::npos);
    EXPECT_EQ(maps.find("libcurl"), std::string::npos);
    plain.stop(std::chrono::milliseconds(100));

    // A service that never answers holds the login open while we look.
    MuteTcpServer service;
    ostrel::test::ChildProcess online(
        CLI_PROGRAM,
        {"--port", "0", "--service", "127.0.0.1:" + std::to_string(service.port), "--login",
         "alice:secret"},
        {{"OSTREL_AUDIO", "none"}});
    ASSERT_TRUE(online.started());
    EXPECT_TRUE(
        eventually([&] { return mapsOf(online.pid()).find("libcurl") != std::string::npos; }));
    online.stop(std::chrono::milliseconds(100));
}
