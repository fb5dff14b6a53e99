// The gateway lookup against the reference gateway's lookup host on loopback, and against
// hand-made hosts that answer wrongly, late, or not at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/SessionMessage.h"
#include "phone/GatewayLookup.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"
#include "tests/phone/GatewayProcess.h"

using namespace ostrel;
using namespace ostrel::phone;
using phonetest::GatewayProcess;

namespace {

constexpr GatewayLookupTimings kQuick{3, 300, 10};

Provider providerWith(std::vector<webservice::GatewayHost> hosts) {
    Provider p;
    p.id = 1;
    p.displayName = "Test Telephone";
    p.gatewayHosts = std::move(hosts);
    return p;
}

class CollectingObserver : public GatewayLookupObserver {
public:
    void hostUnresolved(const std::string& hostName) override {
        std::lock_guard lock(mutex_);
        unresolved_.push_back(hostName);
    }
    std::vector<std::string> unresolved() {
        std::lock_guard lock(mutex_);
        return unresolved_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> unresolved_;
};

// A lookup host of our own on loopback: records when each request arrived and answers each
// with the next of its scripted datagrams (nothing once they are used up).
class ScriptedHost {
public:
    // With `stranger`, every request is also answered with that datagram from a socket that
    // is not the host's.
    explicit ScriptedHost(std::vector<std::vector<uint8_t>> answers = {},
                          std::vector<uint8_t> stranger = {})
        : answers_(std::move(answers)), stranger_(std::move(stranger)) {
        socket_.bind(platform::SocketAddress::loopback(0));
        port_ = socket_.localAddress()->port;
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedHost() {
        quit_ = true;
        thread_.join();
    }
    uint16_t port() const { return port_; }
    std::vector<uint32_t> requestTimes() {
        std::lock_guard lock(mutex_);
        return times_;
    }

private:
    void run() {
        uint8_t buffer[512];
        while (!quit_) {
            const auto r = socket_.receive(buffer, sizeof buffer, 20);
            if (r.result != platform::UdpSocket::Result::Ok) {
                continue;
            }
            const auto m = engine::MessageView::read(buffer, r.size);
            if (!m || m->code() != engine::MSG_GATEWAY_LOOKUP || m->payloadLength() != 2 ||
                m->payload()[0] != 1) {
                continue;
            }
            size_t index;
            {
                std::lock_guard lock(mutex_);
                times_.push_back(platform::tickCount());
                index = times_.size() - 1;
            }
            if (!stranger_.empty()) {
                platform::UdpSocket other;
                other.open();
                other.sendTo(r.from, stranger_.data(), stranger_.size());
            }
            if (index < answers_.size()) {
                socket_.sendTo(r.from, answers_[index].data(), answers_[index].size());
            }
        }
    }

    platform::UdpSocket socket_;
    uint16_t port_ = 0;
    std::vector<std::vector<uint8_t>> answers_;
    std::vector<uint8_t> stranger_;
    std::atomic<bool> quit_{false};
    std::mutex mutex_;  // guards times_
    std::vector<uint32_t> times_;
    std::thread thread_;
};

std::vector<uint8_t> bytesOf(const engine::SessionMessage& m) {
    return {m.data(), m.data() + m.size()};
}

std::vector<uint8_t> validReply(const std::string& host, uint16_t port) {
    return bytesOf(engine::buildGatewayLookupReply(host, port));
}

}  // namespace

TEST(GatewayLookupTest, TheGatewayNamesItsBridge) {
    GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    GatewayLookupRequest request;
    request.provider = providerWith({{"127.0.0.1", gateway.lookupPort()}});
    EXPECT_TRUE(lookupGateway(request, nullptr, kQuick));
    EXPECT_EQ(request.result.load(), 1u);
    EXPECT_EQ(request.gatewayAddress, "127.0.0.1");
    EXPECT_EQ(request.gatewayPort, gateway.bridgePort());
    ASSERT_TRUE(gateway.waitFor("lookup from 127.0.0.1:"));
    EXPECT_EQ(gateway.linesWith("lookup from 127.0.0.1:").size(), 1u);
}

TEST(GatewayLookupTest, AdvertisedNameAndHighPortComeThroughUnchanged) {
    // 40000 does not fit a signed 16-bit number; it must not come out negative.
    GatewayProcess gateway({"--advertise", "gw.example.test:40000"});
    ASSERT_TRUE(gateway.ok());
    GatewayLookupRequest request;
    request.provider = providerWith({{"localhost", gateway.lookupPort()}});
    ASSERT_TRUE(lookupGateway(request, nullptr, kQuick));
    EXPECT_EQ(request.gatewayAddress, "gw.example.test");
    EXPECT_EQ(request.gatewayPort, 40000u);
}

TEST(GatewayLookupTest, SilentGatewayIsAskedThreeTimesThenTheLookupFails) {
    GatewayProcess gateway({"--silent"});
    ASSERT_TRUE(gateway.ok());
    GatewayLookupRequest request;
    request.provider = providerWith({{"127.0.0.1", gateway.lookupPort()}});
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(lookupGateway(request, nullptr, kQuick));
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_EQ(request.result.load(), 0u);
    EXPECT_TRUE(request.gatewayAddress.empty());
    EXPECT_GE(elapsed, 3 * 300u - 30);
    ASSERT_TRUE(gateway.waitFor("unanswered", 1000));
    EXPECT_EQ(gateway.linesWith("unanswered (silent)").size(), 3u);
}

TEST(GatewayLookupTest, NobodyListeningTimesOutAndNoHostsFailsAtOnce) {
    platform::UdpSocket reserved;
    reserved.bind(platform::SocketAddress::loopback(0));
    const uint16_t port = reserved.localAddress()->port;
    reserved.close();  // now nothing listens there: sends are refused, replies never come
    GatewayLookupRequest request;
    request.provider = providerWith({{"127.0.0.1", port}});
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(lookupGateway(request, nullptr, {2, 200, 10}));
    EXPECT_GE(platform::tickCount() - start, 2 * 200u - 30);

    GatewayLookupRequest none;
    none.provider = providerWith({});
    EXPECT_FALSE(lookupGateway(none, nullptr, kQuick));
}

TEST(GatewayLookupTest, FirstHostSilentGetsThreeRequestsThreeSecondsApartThenSecondAnswers) {
    ScriptedHost silent;
    GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    GatewayLookupRequest request;
    request.provider =
        providerWith({{"127.0.0.1", silent.port()}, {"127.0.0.1", gateway.lookupPort()}});
    const uint32_t start = platform::tickCount();
    ASSERT_TRUE(lookupGateway(request));  // the product's timings
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_EQ(request.gatewayPort, gateway.bridgePort());
    const auto times = silent.requestTimes();
    ASSERT_EQ(times.size(), 3u);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 2950u);
        EXPECT_LT(times[i] - times[i - 1], 3500u);
    }
    EXPECT_GE(elapsed, 8950u);
    ASSERT_TRUE(gateway.waitFor("lookup from"));
    EXPECT_EQ(gateway.linesWith("lookup from").size(), 1u);
}

TEST(GatewayLookupTest, UnresolvableHostIsReportedAndTheNextIsAsked) {
    GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    CollectingObserver observer;
    GatewayLookupRequest request;
    request.provider = providerWith({{"no-such-host.invalid", 1730},
                                     {"127.0.0.1", 0},  // not a port: skipped
                                     {"127.0.0.1", gateway.lookupPort()}});
    EXPECT_TRUE(lookupGateway(request, &observer, kQuick));
    EXPECT_EQ(observer.unresolved(), std::vector<std::string>{"no-such-host.invalid"});
    EXPECT_EQ(request.gatewayPort, gateway.bridgePort());
}

TEST(GatewayLookupTest, CancelStopsTheWaitSoonAndReportsNoGateway) {
    GatewayProcess gateway({"--silent"});
    ASSERT_TRUE(gateway.ok());
    GatewayLookupRequest request;
    request.provider =
        providerWith({{"127.0.0.1", gateway.lookupPort()}, {"127.0.0.1", gateway.lookupPort()}});
    std::atomic<bool> done{false};
    bool found = true;
    std::thread lookup([&] {
        found = lookupGateway(request);  // 3 s waits: only the cancel can end it early
        done = true;
    });
    ASSERT_TRUE(gateway.waitFor("unanswered", 2000));
    const uint32_t cancelledAt = platform::tickCount();
    request.cancel.store(1);
    lookup.join();
    EXPECT_LT(platform::tickCount() - cancelledAt, 500u);
    EXPECT_FALSE(found);
    EXPECT_EQ(request.result.load(), 0u);
    EXPECT_EQ(gateway.linesWith("lookup from").size(), 1u);
}

TEST(GatewayLookupTest, OnlyAWholeReplyFromTheAskedHostCounts) {
    engine::SessionMessage wrongCode(engine::MSG_RINGING, 131);
    wrongCode.putText(1, 128, "evil.test");
    wrongCode.putU16(129, 1);
    auto shortReply = validReply("evil.test", 2);
    shortReply.resize(13 + 100);
    shortReply[9] = 100;  // the header agrees, but the payload is too short for a reply
    auto badSignature = validReply("evil.test", 3);
    badSignature[0] = 'X';
    auto unterminated = validReply("x", 4);
    std::fill(unterminated.begin() + 13 + 1, unterminated.begin() + 13 + 129, 'a');
    const auto portZero = validReply("evil.test", 0);
    const auto emptyName = validReply("", 5);

    // One bad answer per request, all within the first request's wait, then the good one.
    ScriptedHost host({bytesOf(wrongCode), shortReply, badSignature},
                      validReply("stranger.test", 6));
    GatewayLookupRequest request;
    request.provider = providerWith({{"127.0.0.1", host.port()}});
    EXPECT_FALSE(lookupGateway(request, nullptr, kQuick));
    EXPECT_EQ(host.requestTimes().size(), 3u);

    ScriptedHost second({unterminated, portZero, emptyName});
    ScriptedHost third({validReply("gw.test", 7777)}, validReply("stranger.test", 6));
    GatewayLookupRequest next;
    next.provider = providerWith({{"127.0.0.1", second.port()}, {"127.0.0.1", third.port()}});
    EXPECT_TRUE(lookupGateway(next, nullptr, kQuick));
    EXPECT_EQ(second.requestTimes().size(), 3u);
    EXPECT_EQ(next.gatewayAddress, "gw.test");
    EXPECT_EQ(next.gatewayPort, 7777u);
}

TEST(GatewayLookupTest, ReplyReaderChecksEveryField) {
    const auto good = validReply("10.0.0.5", 0xFFFF);
    const auto address = readGatewayLookupReply(good.data(), good.size());
    ASSERT_TRUE(address);
    EXPECT_EQ(address->host, "10.0.0.5");
    EXPECT_EQ(address->port, 0xFFFF);

    // A name that fills the whole field has no NUL inside it.
    const std::string longest(127, 'n');
    const auto full = validReply(longest, 9);
    ASSERT_TRUE(readGatewayLookupReply(full.data(), full.size()));
    EXPECT_EQ(readGatewayLookupReply(full.data(), full.size())->host, longest);

    auto longer = good;
    longer.push_back(0);
    longer[9] = 132;
    EXPECT_FALSE(readGatewayLookupReply(longer.data(), longer.size()));
    EXPECT_FALSE(readGatewayLookupReply(good.data(), good.size() - 1));
    EXPECT_FALSE(readGatewayLookupReply(good.data(), 12));
}
