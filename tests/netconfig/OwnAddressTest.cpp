// Own-address detection: the private-address rules and real TCP attempts on loopback.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "app/settings/Settings.h"
#include "netconfig/OwnAddress.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::netconfig;

namespace {

// A TCP socket listening on 127.0.0.1 that never accepts; the kernel completes connections
// into its backlog, which is all the detection asks for.
class Listener {
public:
    explicit Listener(int backlog = 16) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, backlog);
        socklen_t length = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { close(fd_); }
    void stop() {
        close(fd_);
        fd_ = -1;
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

OwnAddressOptions withAddresses(std::string target, std::vector<std::string> own) {
    OwnAddressOptions options;
    options.target = std::move(target);
    options.ownAddresses = [own] { return own; };
    options.stepMs = 100;
    return options;
}

}  // namespace

TEST(PrivateAddress, Rules) {
    for (const char* p : {"127.0.0.1", "10.0.0.1", "10.255.1.1", "192.168.0.1", "169.254.3.4",
                          "172.16.0.1", "172.31.255.255", "172.20.1.1"}) {
        EXPECT_TRUE(IsPrivateAddress(p)) << p;
    }
    for (const char* p : {"172.15.0.1", "172.32.0.1", "8.8.8.8", "127.0.0.2", "192.169.0.1",
                          "100.64.0.1", "11.0.0.1", "172.160.0.1"}) {
        EXPECT_FALSE(IsPrivateAddress(p)) << p;
    }
}

TEST(OwnAddressDetection, PublicAddressThatConnectsIsTheResult) {
    Listener listener;
    // 127.0.0.2 is a local address of every Linux machine and public by the rules.
    EXPECT_EQ(DetectOwnAddress(2, withAddresses(listener.target(), {"127.0.0.1", "127.0.0.2"})),
              "127.0.0.2");
}

TEST(OwnAddressDetection, OnlyPrivateAddressesThatReachTheHostGiveLan) {
    Listener listener;
    EXPECT_EQ(DetectOwnAddress(2, withAddresses(listener.target(), {"127.0.0.1", "10.1.2.3"})),
              "LAN");
    // A public address that is not ours cannot be bound; the attempt from any address wins.
    EXPECT_EQ(DetectOwnAddress(2, withAddresses(listener.target(), {"203.0.113.9"})), "LAN");
}

TEST(OwnAddressDetection, UnreachableOrUnknownHostGivesEmptyText) {
    Listener listener;
    const std::string target = listener.target();
    listener.stop();
    EXPECT_EQ(DetectOwnAddress(2, withAddresses(target, {"127.0.0.2"})), "");
    EXPECT_EQ(DetectOwnAddress(2, withAddresses("no-such-host.invalid", {"127.0.0.2"})), "");
}

TEST(OwnAddressDetection, HangingAttemptIsCutOffAtTheLimit) {
    // A backlog of 0 that is already full: further connections get no answer to their SYN.
    Listener listener(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(std::stoi(listener.target().substr(10))));
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(fd);
    }
    usleep(100 * 1000);
    const auto start = std::chrono::steady_clock::now();
    const std::string result = DetectOwnAddress(3, withAddresses(listener.target(), {}));
    const auto took = std::chrono::steady_clock::now() - start;
    for (int fd : fillers) {
        close(fd);
    }
    // Either the kernel let it in after all, or it was abandoned after three steps.
    if (result.empty()) {
        EXPECT_LT(took, std::chrono::seconds(3));
    } else {
        EXPECT_EQ(result, "LAN");
    }
}

TEST(OwnAddressDetection, ProxyIsTheTargetWhenItIsOn) {
    webservice::test::ScopedConfigDir config;
    setenv("OSTREL_SERVICE_HOST", "service.example:8080", 1);
    EXPECT_EQ(DetectionTarget(), "service.example:8080");
    settings::write(settings::value::UseHttpProxy, 1);
    settings::write(settings::value::HttpProxyName, "  proxy.example ");
    settings::write(settings::value::HttpProxyPort, 3128);
    EXPECT_EQ(DetectionTarget(), "proxy.example:3128");
    unsetenv("OSTREL_SERVICE_HOST");
}
