// The control handler of an established call on whatever arrives on it. Each input gets a fresh
// outgoing session, connected by a real handshake with a callee socket on loopback and, when
// the callee speaks version 6, with some digit strings of its own in flight. The input's
// datagrams then go to the session's handler as a receive pass hands them over: from the
// callee, from another port of the callee's host, or from a stranger. Afterwards everything
// the session sent is read back from the callee's socket, up to a marker the session sends
// last, and compared with what the handler owes for those datagrams: an answer for each of
// the callee's probes, an acknowledgement for each of its digit messages that is not ahead
// of the sequence, a delay record for each probe answer, nothing at all for a stranger, and
// a hang-up reported for the callee's hang-up only.
#include <algorithm>
#include <cstddef>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "fuzz/support/Datagrams.h"
#include "fuzz/support/FuzzCheck.h"
#include "fuzz/support/QuietSink.h"
#include "platform/Platform.h"
#include "platform/UdpSocket.h"

using namespace ostrel;
using platform::SocketAddress;
using platform::UdpSocket;

namespace {

constexpr uint32_t kStrangerIp = 0x7F000002;
constexpr size_t kMaxDigitStrings = 8;
constexpr size_t kMaxDatagrams = 24;
constexpr uint32_t kWaitMs = 3000;

// Keeps the delay records; discards the rest like QuietSink.
class DelaySink : public fuzz::QuietSink {
public:
    void notify(engine::Notification n) override {
        if (n.code == engine::NotificationCode::DelayMeasured) {
            std::lock_guard lock(mutex_);
            delays_.push_back(std::get<engine::DelayRecord>(n.parameter));
            return;
        }
        QuietSink::notify(std::move(n));
    }

    std::vector<engine::DelayRecord> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(delays_, {});
    }

private:
    std::mutex mutex_;  // guards delays_
    std::vector<engine::DelayRecord> delays_;
};

// Payload byte `i` of a datagram that passed the frame check; zero past its end.
uint8_t payloadByte(const fuzz::Datagram& d, size_t i) {
    return engine::kHeaderSize + i < d.size() ? d[engine::kHeaderSize + i] : 0;
}

uint32_t payloadU32(const fuzz::Datagram& d, size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(payloadByte(d, offset + i)) << (8 * i);
    }
    return v;
}

// A datagram as the wire carries it, written byte by byte rather than with the builders.
fuzz::Datagram framed(uint8_t code, const std::vector<uint8_t>& payload) {
    fuzz::Datagram d = {'Q', 'V', 'X', 0, code, 0, 0, 0, 0};
    const auto length = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) {
        d.push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

uint8_t codeOf(const fuzz::Datagram& d) {
    return d.size() > 4 ? d[4] : 0;
}

struct Call {
    Call() {
        engine = std::make_unique<engine::NetCore>("5a4b3c2d-1e0f-4a9b-8c7d-6e5f4a3b2c1d", 0, sink,
                                                   "caller", engine::kProtocolVersion);
        FUZZ_CHECK(callee.bind(SocketAddress::loopback(0)));
        calleePort = callee.localAddress().value_or(SocketAddress{}).port;
        FUZZ_CHECK(calleePort != 0);
    }

    // Answers the session's connect request with an accept of `version`.
    bool accept(uint32_t version) {
        std::vector<uint8_t> buffer(engine::kHandshakeBufferSize);
        const uint32_t start = platform::tickCount();
        while (platform::tickCount() - start < kWaitMs) {
            const auto got = callee.receive(buffer.data(), buffer.size(), 100);
            if (got.result != UdpSocket::Result::Ok) {
                continue;
            }
            const auto view = engine::MessageView::read(buffer.data(), got.size);
            if (view && view->code() == engine::MSG_CONNECT_REQUEST) {
                engine::ConnectFields fields;
                fields.userName = "callee";
                fields.version = version;
                const engine::SessionMessage reply = engine::buildConnectAccept(fields);
                return callee.sendTo(got.from, reply.data(), reply.size()) == UdpSocket::Result::Ok;
            }
        }
        return false;
    }

    // What reached the callee from `from` before the marker, which must arrive.
    std::vector<fuzz::Datagram> receivedUpToMarker(const SocketAddress& from) {
        std::vector<fuzz::Datagram> all;
        std::vector<uint8_t> buffer(engine::kReceiveBufferSize);
        for (;;) {
            const auto got = callee.receive(buffer.data(), buffer.size(), kWaitMs);
            FUZZ_CHECK(got.result == UdpSocket::Result::Ok);
            FUZZ_CHECK(got.from == from);
            fuzz::Datagram d(buffer.begin(), buffer.begin() + got.size);
            if (codeOf(d) == engine::MSG_WHO_RU) {
                return all;
            }
            all.push_back(std::move(d));
        }
    }

    DelaySink sink;
    std::unique_ptr<engine::NetCore> engine;
    UdpSocket callee;
    uint16_t calleePort = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Call* const call = new Call;
    FuzzedDataProvider input(data, size);
    const uint32_t version = input.ConsumeBool() ? 6 : 5;
    const size_t digitStrings = input.ConsumeIntegralInRange<size_t>(0, kMaxDigitStrings);

    engine::VoiceSession session(*call->engine, engine::SessionType::Outgoing);
    engine::ConnectionRequest request;
    request.address = "127.0.0.1";
    request.port = call->calleePort;
    request.expectedUser = "callee";
    auto connecting = std::async(std::launch::async, [&] { return session.connect(request); });
    FUZZ_CHECK(call->accept(version));
    FUZZ_CHECK(connecting.get());
    FUZZ_CHECK(session.isConnected() && session.peerVersion() == version);
    call->sink.take();

    // Our own digits: numbered from 1, at most 6 sent at once, kept until acknowledged.
    std::set<uint32_t> pending;
    for (size_t i = 0; i < digitStrings; ++i) {
        session.sendDigits(std::to_string(i));
        if (version >= 6) {
            pending.insert(static_cast<uint32_t>(i + 1));
        }
    }
    const size_t digitsSent = std::min(pending.size(), engine::VoiceSession::kMaxDigitsInFlight);

    const SocketAddress senders[] = {
        SocketAddress::loopback(call->calleePort),
        SocketAddress::loopback(call->calleePort),
        SocketAddress::loopback(static_cast<uint16_t>(call->calleePort + 1)),
        SocketAddress{kStrangerIp, call->calleePort},
    };
    std::vector<fuzz::Datagram> answers;
    std::vector<uint32_t> cookies;
    uint32_t digitsTaken = 0;
    for (size_t n = 0; n < kMaxDatagrams && input.remaining_bytes() > 0; ++n) {
        const SocketAddress& from = input.PickValueInArray(senders);
        const fuzz::Datagram d = fuzz::nextDatagram(input);
        const auto view = engine::MessageView::read(d.data(), d.size());
        // The receive pass drops what fails the frame check and decodes voice itself.
        if (!view || view->code() == engine::MSG_VOICE) {
            continue;
        }
        const bool hungUp = session.handleControl(*view, from);
        const bool fromCallee = from.ip == SocketAddress::kLoopback;
        const uint8_t code = codeOf(d);
        FUZZ_CHECK(hungUp == (fromCallee && code == engine::MSG_HANGUP));
        if (hungUp) {
            break;  // the session is removed
        }
        if (!fromCallee) {
            continue;
        }
        if (code == engine::MSG_R_U_THERE) {
            std::vector<uint8_t> echo(engine::kProbePayloadSize, 0);
            for (size_t i = 0; i < 8; ++i) {
                echo[i] = payloadByte(d, i);
            }
            answers.push_back(framed(engine::MSG_I_AM_HERE, echo));
        } else if (code == engine::MSG_I_AM_HERE) {
            cookies.push_back(payloadU32(d, 4));
        } else if (code == engine::MSG_DTMF) {
            const uint32_t sequence = payloadU32(d, 1);
            if (sequence == digitsTaken + 1 || sequence <= digitsTaken) {
                std::vector<uint8_t> ack(engine::kDtmfAckSize, 0);
                for (size_t i = 0; i < ack.size(); ++i) {
                    ack[i] = payloadByte(d, i);
                }
                answers.push_back(framed(engine::MSG_DTMF_ACK, ack));
            }
            if (sequence == digitsTaken + 1) {
                digitsTaken = sequence;
            }
        } else if (code == engine::MSG_DTMF_ACK) {
            pending.erase(payloadU32(d, 1));
        }
    }

    FUZZ_CHECK(session.digitSequenceIn() == digitsTaken);
    FUZZ_CHECK(session.pendingDigitCount() == pending.size());
    const auto delays = call->sink.take();
    FUZZ_CHECK(delays.size() == cookies.size());
    for (size_t i = 0; i < delays.size(); ++i) {
        FUZZ_CHECK(delays[i].session == session.id() && delays[i].cookie == cookies[i] &&
                   delays[i].queuedBlocks == 0);
    }

    FUZZ_CHECK(session.send(engine::buildEmpty(engine::MSG_WHO_RU)));
    const SocketAddress sessionAddress =
        SocketAddress::loopback(session.socket().localAddress().value_or(SocketAddress{}).port);
    std::vector<fuzz::Datagram> received = call->receivedUpToMarker(sessionAddress);
    FUZZ_CHECK(received.size() >= digitsSent);
    for (size_t i = 0; i < digitsSent; ++i) {
        FUZZ_CHECK(codeOf(received[i]) == engine::MSG_DTMF);
        FUZZ_CHECK(payloadU32(received[i], 1) == i + 1);
    }
    received.erase(received.begin(), received.begin() + static_cast<ptrdiff_t>(digitsSent));
    FUZZ_CHECK(received == answers);
    return 0;
}
