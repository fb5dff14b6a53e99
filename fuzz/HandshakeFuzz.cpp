// The caller's handshake on whatever a callee answers: an engine calls a scripted callee on
// loopback, which answers the connect request with the datagrams of the input (from its own
// address or from a stranger's) and then with a ring-stopped, so every attempt ends at once.
// The call must end accepted or failed without a crash, and an accepted one hangs up cleanly.
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/NetCore.h"
#include "fuzz/support/Datagrams.h"
#include "fuzz/support/FuzzCheck.h"
#include "fuzz/support/QuietSink.h"
#include "platform/UdpSocket.h"

using namespace ostrel;
using platform::SocketAddress;
using platform::UdpSocket;

namespace {

struct Line {
    bool fromStranger = false;
    fuzz::Datagram datagram;
};

class ScriptedCallee {
public:
    ScriptedCallee() {
        FUZZ_CHECK(callee_.bind(SocketAddress::loopback(0)));
        FUZZ_CHECK(stranger_.bind(SocketAddress{0x7F000002, 0}));
        port_ = callee_.localAddress().value_or(SocketAddress{}).port;
        thread_ = std::thread([this] { serve(); });
        thread_.detach();  // lives as long as the process
    }

    uint16_t port() const { return port_; }

    void play(std::vector<Line> script) {
        std::lock_guard lock(mutex_);
        script_ = std::move(script);
        fresh_ = true;
    }

private:
    void serve() {
        std::array<uint8_t, 4096> buffer;
        for (;;) {
            const auto got = callee_.receive(buffer.data(), buffer.size(), 100);
            if (got.result != UdpSocket::Result::Ok) {
                continue;
            }
            const auto view = engine::MessageView::read(buffer.data(), got.size);
            if (!view || view->code() != engine::MSG_CONNECT_REQUEST) {
                continue;
            }
            std::vector<Line> script;
            {
                std::lock_guard lock(mutex_);
                if (!fresh_) {
                    continue;
                }
                fresh_ = false;
                script = script_;
            }
            for (const Line& line : script) {
                UdpSocket& from = line.fromStranger ? stranger_ : callee_;
                from.sendTo(got.from, line.datagram.data(), line.datagram.size());
            }
            const engine::SessionMessage end = engine::buildEmpty(engine::MSG_RING_STOPPED);
            callee_.sendTo(got.from, end.data(), end.size());
        }
    }

    UdpSocket callee_;
    UdpSocket stranger_;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;  // guards script_ and fresh_
    std::vector<Line> script_;
    bool fresh_ = false;
};

struct Caller {
    Caller() {
        engine::EngineTimings timings;
        timings.listenerWaitMs = 50;
        timings.handshakeWaitMs = 200;
        timings.busyPauseMs = 1;
        timings.answerRepeatGapMs = 1;
        engine = std::make_unique<engine::NetCore>("0a1b2c3d-4e5f-4a6b-8c7d-8e9f0a1b2c3d", 0, sink,
                                                   "caller", engine::kProtocolVersion, timings);
    }

    fuzz::QuietSink sink;
    std::unique_ptr<engine::NetCore> engine;
    ScriptedCallee callee;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Caller* const caller = new Caller;
    FuzzedDataProvider input(data, size);
    engine::ConnectionRequest request;
    request.address = "127.0.0.1";
    request.port = caller->callee.port();
    request.confirmUser = input.ConsumeBool();
    request.expectedUser = "callee";
    caller->engine->setSequenceCheck(input.ConsumeBool());

    std::vector<Line> script;
    while (script.size() < 8 && input.remaining_bytes() > 0) {
        Line line;
        line.fromStranger = input.ConsumeIntegralInRange<uint8_t>(0, 7) == 0;
        line.datagram = fuzz::nextDatagram(input);
        script.push_back(std::move(line));
    }
    caller->callee.play(std::move(script));

    const size_t peersBefore = caller->engine->connectedPeers().size();
    const engine::SessionId id = caller->engine->connect(request);
    if (id) {
        FUZZ_CHECK(caller->engine->connectedPeers().size() == peersBefore + 1);
        FUZZ_CHECK(caller->engine->hangUp(id));
    }
    FUZZ_CHECK(caller->engine->connectedPeers().size() == peersBefore);
    return 0;
}
