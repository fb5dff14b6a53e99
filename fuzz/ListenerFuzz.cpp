// The listener's dispatch on whatever datagrams arrive from a few senders on loopback (one of
// them 127.0.0.1, where the listener looks for its own sessions first). After each input every
// sender asks who-are-you: the listener must still answer, whatever came before.
#include <array>
#include <memory>

#include "engine/NetCore.h"
#include "fuzz/support/Datagrams.h"
#include "fuzz/support/FuzzCheck.h"
#include "fuzz/support/QuietSink.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"

using namespace ostrel;
using platform::SocketAddress;
using platform::UdpSocket;

namespace {

constexpr uint32_t kSenderIps[] = {0x7F000001, 0x7F000002, 0x7F000003};
constexpr size_t kSenders = std::size(kSenderIps);
constexpr uint32_t kAnswerWaitMs = 3000;

struct Listener {
    Listener() {
        engine::EngineTimings timings;
        timings.listenerWaitMs = 50;
        timings.answerRepeatGapMs = 1;
        timings.requestThreadPollMs = 5;
        engine = std::make_unique<engine::NetCore>("6b1e2f9a-0c3d-4e5f-8a7b-9c0d1e2f3a4b", 0, sink,
                                                   "fuzzer", engine::kProtocolVersion, timings);
        FUZZ_CHECK(engine->isListening());
        target = SocketAddress::loopback(engine->listeningPort());
        for (size_t i = 0; i < kSenders; ++i) {
            FUZZ_CHECK(senders[i].bind(SocketAddress{kSenderIps[i], 0}));
        }
    }

    // Answers to earlier inputs (ringing, refusals, relayed datagrams) are of no interest.
    void drain(UdpSocket& socket) {
        std::array<uint8_t, 4096> buffer;
        while (socket.receiveFrom(buffer.data(), buffer.size()).result !=
               UdpSocket::Result::TimedOut) {
        }
    }

    bool answersWhoAreYou(UdpSocket& socket) {
        const engine::SessionMessage question = engine::buildEmpty(engine::MSG_WHO_RU);
        if (socket.sendTo(target, question.data(), question.size()) != UdpSocket::Result::Ok) {
            return false;
        }
        std::array<uint8_t, 4096> buffer;
        const uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < kAnswerWaitMs) {
            const auto got = socket.receive(buffer.data(), buffer.size(), 100);
            if (got.result != UdpSocket::Result::Ok || got.from.port != target.port) {
                continue;
            }
            const auto reply = engine::MessageView::read(buffer.data(), got.size);
            if (reply && reply->code() == engine::MSG_WHO_RU_REPLY) {
                return true;
            }
        }
        return false;
    }

    fuzz::QuietSink sink;
    std::unique_ptr<engine::NetCore> engine;
    SocketAddress target;
    std::array<UdpSocket, kSenders> senders;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Built once and never destroyed: stopping an engine per input would cost a second each.
    static Listener* const listener = new Listener;
    FuzzedDataProvider input(data, size);
    std::array<bool, kSenders> used{};
    for (UdpSocket& sender : listener->senders) {
        listener->drain(sender);
    }
    while (input.remaining_bytes() > 0) {
        const size_t from = input.ConsumeIntegralInRange<size_t>(0, kSenders - 1);
        const fuzz::Datagram datagram = fuzz::nextDatagram(input);
        listener->senders[from].sendTo(listener->target, datagram.data(), datagram.size());
        used[from] = true;
    }
    for (size_t i = 0; i < kSenders; ++i) {
        if (used[i]) {
            FUZZ_CHECK(listener->answersWhoAreYou(listener->senders[i]));
        }
    }
    return 0;
}
