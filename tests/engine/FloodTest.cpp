// One engine on loopback under a flood: 10,000 connect requests from 1,000 source ports and
// 100,000 malformed datagrams in 10 seconds, while a call is in progress. The listener must
// keep its threads bounded, go on answering who-are-you, and keep the call up.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Wire.h"
#include "engine/EngineSink.h"
#include "engine/MasterServer.h"
#include "engine/NetCore.h"

using namespace ostrel::engine;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int kSourcePorts = 1000;
constexpr int kConnectRequests = 10000;
constexpr int kMalformed = 100000;
constexpr auto kFloodTime = milliseconds(10000);
constexpr int kTicks = 10000;  // one every millisecond of the flood
// "Still answered": a who-are-you answered within this counts; the 100 ms target is shown.
constexpr auto kAnswerLimit = milliseconds(1000);
constexpr auto kAnswerTarget = milliseconds(100);
constexpr auto kResendAfter = milliseconds(200);

// Accepts the one caller the test expects and refuses every other request at once, as a user
// would under a flood of strangers; counts what the engine reports.
class FloodSink : public EngineSink {
public:
    explicit FloodSink(std::string welcome = {}) : welcome_(std::move(welcome)) {}

    void log(std::string_view) override {}

    void notify(Notification n) override {
        if (auto* const* q = std::get_if<IncomingCallRequest*>(&n.parameter)) {
            questions_.fetch_add(1);
            const bool welcome = !welcome_.empty() && (*q)->peerUserName == welcome_;
            (*q)->respond(welcome ? IncomingCallRequest::kAccept : IncomingCallRequest::kReject);
        }
        if (n.code == NotificationCode::BytesReceived) {
            received_.fetch_add(1);
        }
        if (n.code == NotificationCode::PeerJoined) {
            joined_.fetch_add(1);
        }
        if (n.code == NotificationCode::ConnectionLost) {
            lost_.fetch_add(1);
        }
    }

    int questions() const { return questions_.load(); }
    int received() const { return received_.load(); }
    int joined() const { return joined_.load(); }
    int lost() const { return lost_.load(); }

private:
    const std::string welcome_;
    std::atomic<int> questions_{0};
    std::atomic<int> received_{0};
    std::atomic<int> joined_{0};
    std::atomic<int> lost_{0};
};

int threadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++n;
    }
    return n;
}

void raiseDescriptorLimit(rlim_t wanted) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    ASSERT_GE(limit.rlim_cur, wanted) << "the flood needs " << wanted << " descriptors";
}

// A 440 Hz tone for the capture file, so a voice stream (silence suppression aside) has
// something to send.
void writeTone(const std::filesystem::path& path, int seconds) {
    const uint32_t samples = 8000u * static_cast<uint32_t>(seconds);
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + samples * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        u16(static_cast<uint16_t>(
            static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 8000))));
    }
}

// The malformed kinds, in turn: too short, empty, bad signature, a length field that lies
// either way, a voice trailer that does not fit, more frames than a block, garbage, and a
// datagram longer than the receive buffer.
std::vector<std::vector<uint8_t>> malformedKinds() {
    std::vector<std::vector<uint8_t>> kinds;
    kinds.push_back({'Q', 'V', 'X', 0, 17});
    kinds.push_back({});
    std::vector<uint8_t> badSignature = wire::frame(17);
    badSignature[2] = 'Y';
    kinds.push_back(badSignature);
    std::vector<uint8_t> longer = wire::frame(17);
    wire::putU32(longer, 9, 400);
    kinds.push_back(longer);
    std::vector<uint8_t> shorter = wire::frame(1, std::vector<uint8_t>(400, 0));
    wire::putU32(shorter, 9, 12);
    kinds.push_back(shorter);
    kinds.push_back(wire::frame(3, std::vector<uint8_t>(331, 0x55)));
    kinds.push_back(wire::frame(3, std::vector<uint8_t>(33 * 12, 0x55)));
    std::vector<uint8_t> garbage(100);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    kinds.push_back(garbage);
    kinds.push_back(wire::frame(17, std::vector<uint8_t>(5000, 0)));
    return kinds;
}

struct AnswerTimes {
    std::vector<double> ms;  // answered ones
    int asked = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

bool connectedTo(NetCore& engine, const std::string& name) {
    for (const ConnectedPeer& peer : engine.connectedPeers()) {
        if (peer.description == name) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(FloodTest, ListenerSurvivesConnectAndMalformedFloodDuringACall) {
    raiseDescriptorLimit(kSourcePorts + 512);

    // Voice streams read and write files, never a sound card.
    const auto folder =
        std::filesystem::temp_directory_path() / ("ostrel-flood-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    writeTone(folder / "tone.wav", 30);
    ::setenv("OSTREL_CAPTURE_FILE", (folder / "tone.wav").c_str(), 1);
    ::setenv("OSTREL_PLAYBACK_FILE", (folder / "played.wav").c_str(), 1);

    FloodSink aliceSink("bob");
    FloodSink bobSink;
    auto alice =
        std::make_unique<NetCore>("a11ce000-0000-4000-8000-000000000001", 0, aliceSink, "alice");
    auto bob = std::make_unique<NetCore>("b0b00000-0000-4000-8000-000000000002", 0, bobSink, "bob");
    ASSERT_TRUE(alice->isListening());
    const uint16_t port = alice->listeningPort();

    ConnectionRequest call;
    call.address = "127.0.0.1";
    call.port = port;
    call.expectedUser = "alice";
    ASSERT_TRUE(bob->connect(call));
    for (int i = 0; i < 100 && aliceSink.joined() == 0; ++i) {
        std::this_thread::sleep_for(milliseconds(20));
    }
    ASSERT_TRUE(connectedTo(*alice, "bob"));
    ASSERT_TRUE(connectedTo(*bob, "alice"));

    // Whether voice flows in this build: datagrams bob's session gets in one quiet second.
    const int receivedBefore = bobSink.received();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int quietRate = bobSink.received() - receivedBefore;

    // 1,000 source ports, half on 127.0.0.1 (where the listener first looks for its own
    // sessions) and half on 127.0.0.2.
    std::vector<std::unique_ptr<wire::RawPeer>> sources;
    for (int i = 0; i < kSourcePorts; ++i) {
        sources.push_back(std::make_unique<wire::RawPeer>(i % 2 == 0 ? "127.0.0.1" : "127.0.0.2"));
    }
    const std::vector<std::vector<uint8_t>> kinds = malformedKinds();

    std::atomic<bool> go{false};
    std::atomic<bool> flooding{true};
    std::atomic<int> sentConnects{0};
    std::atomic<int> sentMalformed{0};
    std::atomic<int> maxThreads{0};
    const auto waitForGo = [&] {
        while (!go.load()) {
            std::this_thread::sleep_for(milliseconds(1));
        }
    };

    // Two senders share the schedule: each millisecond one connect request (source port i
    // mod 1000, so each port asks ten times) and ten malformed datagrams.
    std::vector<std::thread> senders;
    for (int half = 0; half < 2; ++half) {
        senders.emplace_back([&, half] {
            waitForGo();
            const auto start = Clock::now();
            for (int tick = 0; tick < kTicks; ++tick) {
                std::this_thread::sleep_until(start + kFloodTime * tick / kTicks);
                if (half == 0) {
                    wire::ConnectRequestFields fields;
                    fields.userName = "flood" + std::to_string(tick % kSourcePorts);
                    sources[tick % kSourcePorts]->sendTo(port, wire::connectRequest(fields));
                    sentConnects.fetch_add(1);
                }
                for (int k = 0; k < kMalformed / kTicks / 2; ++k) {
                    const int n = tick * (kMalformed / kTicks) + half * 5 + k;
                    sources[(n * 7) % kSourcePorts]->sendTo(port, kinds[n % kinds.size()]);
                    sentMalformed.fetch_add(1);
                }
            }
        });
    }

    std::thread monitor([&] {
        waitForGo();
        while (flooding.load()) {
            int seen = threadCount();
            int known = maxThreads.load();
            while (seen > known && !maxThreads.compare_exchange_weak(known, seen)) {
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
    });

    AnswerTimes answers;
    std::thread prober([&] {
        wire::RawPeer asker;
        waitForGo();
        while (flooding.load()) {
            // A question lost on a full loopback queue is asked again, as a caller would; the
            // time counts from the first.
            const auto asked = Clock::now();
            ++answers.asked;
            for (int attempt = 0; attempt < kAnswerLimit / kResendAfter; ++attempt) {
                asker.sendTo(port, wire::frame(17));
                if (asker.receiveCode(18, static_cast<int>(kResendAfter.count()))) {
                    answers.ms.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
                    break;
                }
            }
            std::this_thread::sleep_until(asked + milliseconds(50));
        }
    });

    // Every helper thread exists now; what the listener adds on top is what counts.
    const int baseThreads = threadCount();
    const auto floodStart = Clock::now();
    go.store(true);

    int connectionChecks = 0;
    int connectedChecks = 0;
    const int receivedAtStart = bobSink.received();
    while (sentMalformed.load() < kMalformed || sentConnects.load() < kConnectRequests) {
        std::this_thread::sleep_for(milliseconds(250));
        ++connectionChecks;
        connectedChecks += connectedTo(*alice, "bob") && connectedTo(*bob, "alice") ? 1 : 0;
    }
    for (std::thread& t : senders) {
        t.join();
    }
    const double floodSeconds = std::chrono::duration<double>(Clock::now() - floodStart).count();
    const int receivedDuringFlood = bobSink.received() - receivedAtStart;
    std::this_thread::sleep_for(milliseconds(300));
    flooding.store(false);
    prober.join();
    monitor.join();

    const auto within = [&](milliseconds limit) {
        return std::count_if(answers.ms.begin(), answers.ms.end(),
                             [&](double ms) { return ms <= static_cast<double>(limit.count()); });
    };
    std::printf(
        "flood: %d connect requests and %d malformed datagrams in %.2f s; %d reached the user\n"
        "threads: %d before, at most %d during the flood\n"
        "who-are-you: %zu of %d answered within %lld ms, %ld within %lld ms; "
        "median %.2f ms, 95th percentile %.2f ms, slowest %.2f ms\n"
        "call: connected at %d of %d checks; bob's session got %d datagrams in the quiet second, "
        "%d during the flood\n",
        sentConnects.load(), sentMalformed.load(), floodSeconds, aliceSink.questions() - 1,
        baseThreads, maxThreads.load(), answers.ms.size(), answers.asked,
        static_cast<long long>(kAnswerLimit.count()), static_cast<long>(within(kAnswerTarget)),
        static_cast<long long>(kAnswerTarget.count()), percentile(answers.ms, 0.5),
        percentile(answers.ms, 0.95), percentile(answers.ms, 1.0), connectedChecks,
        connectionChecks, quietRate, receivedDuringFlood);

    EXPECT_EQ(sentConnects.load(), kConnectRequests);
    EXPECT_EQ(sentMalformed.load(), kMalformed);
    // Request threads are capped; a little room for one that is just ending as the next starts.
    EXPECT_LE(maxThreads.load(), baseThreads + MasterServer::kMaxWaitingRequests + 4);
    // Questions are asked again after 200 ms, so a lost datagram costs time, not the answer; a
    // few unanswered rounds are allowed for a machine busy with other work, a listener that has
    // fallen behind is not.
    ASSERT_GT(answers.asked, 0);
    EXPECT_GE(static_cast<double>(answers.ms.size()), 0.9 * answers.asked);
    EXPECT_EQ(connectedChecks, connectionChecks);
    EXPECT_TRUE(connectedTo(*alice, "bob"));
    EXPECT_TRUE(connectedTo(*bob, "alice"));
    EXPECT_EQ(aliceSink.lost(), 0);
    EXPECT_EQ(bobSink.lost(), 0);
    if (quietRate >= 3) {
        // Voice flows in this build (five blocks a second): the flood must not starve it.
        EXPECT_GE(receivedDuringFlood, static_cast<int>(quietRate * floodSeconds / 2));
    } else {
        std::printf("voice: no voice stream in this build yet; only the connection is checked\n");
    }

    bob.reset();
    alice.reset();
    ::unsetenv("OSTREL_CAPTURE_FILE");
    ::unsetenv("OSTREL_PLAYBACK_FILE");
    std::filesystem::remove_all(folder);
}
