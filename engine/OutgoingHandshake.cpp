#include "engine/OutgoingHandshake.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/FormatText.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"

namespace ostrel::engine {

namespace {

// Stop and cancel are looked at this often during a wait, so a user's cancel takes effect at
// once instead of at the end of a three-second wait.
constexpr uint32_t kAbandonCheckMs = 50;

}  // namespace

OutgoingHandshake::OutgoingHandshake(NetCore& engine, VoiceSession& session,
                                     const ConnectionRequest& request)
    : engine_(engine), session_(session), request_(request), buffer_(kHandshakeBufferSize) {}

bool OutgoingHandshake::abandoned() const {
    return engine_.stopRequested() || request_.cancelled();
}

bool OutgoingHandshake::hangUpAndFail() {
    session_.send(buildEmpty(MSG_HANGUP));
    return false;
}

void OutgoingHandshake::pause(uint32_t ms) const {
    const uint32_t start = platform::tickCount();
    while (!abandoned()) {
        const uint32_t elapsed = platform::tickCount() - start;
        if (elapsed >= ms) {
            return;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(ms - elapsed, kAbandonCheckMs)));
    }
}

SessionMessage OutgoingHandshake::buildRequest() {
    ConnectFields fields;
    fields.userName = engine_.userName();
    fields.version = engine_.protocolVersion();
    fields.identity = engine_.identity();
    if (request_.viaBridge) {
        engine_.log(formatText("Connecting using Bridge=%s:%d, BridgeType=%d ConnectionString=%s",
                               request_.address.c_str(), request_.port, request_.bridgeType,
                               request_.connectionString.c_str()));
        fields.bridgeType = request_.bridgeType;
        fields.connectionString = request_.connectionString;
    } else {
        engine_.log(formatText("Connecting directly to ConnectionString=%s:%d",
                               request_.address.c_str(), request_.port));
    }
    if (engine_.isCallActive()) {
        fields.conferenceGuid = engine_.conferenceGuid();
    }
    if (request_.confirmUser) {
        fields.confirmUser = request_.expectedUser;
    }
    return buildConnectRequest(fields);
}

bool OutgoingHandshake::run() {
    const int attempts = request_.viaBridge ? kBridgeAttempts : kDirectAttempts;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (abandoned()) {
            return hangUpAndFail();
        }
        if (!session_.send(buildRequest())) {
            engine_.log("Connect Failed Once");
            if (abandoned()) {
                return hangUpAndFail();
            }
            continue;
        }
        engine_.log("Connect Request Sent..");
        // Every datagram, even an ignored one, restarts the count: an attempt ends only after
        // three silent waits in a row (9 s by default), and the next one resends the request.
        int silentWaits = 0;
        while (silentWaits < kSilentWaitsPerAttempt) {
            if (abandoned()) {
                return hangUpAndFail();
            }
            size_t size = 0;
            platform::SocketAddress from;
            const WaitResult waited = receiveFiltered(size, from);
            if (waited == WaitResult::Abandoned || abandoned()) {
                return hangUpAndFail();
            }
            if (waited == WaitResult::Silent) {
                engine_.log("Response timed out once");
                ++silentWaits;
                continue;
            }
            silentWaits = 0;
            switch (handle(size, from)) {
                case Outcome::Accepted:
                    return true;
                case Outcome::Failed:
                    return false;
                case Outcome::KeepWaiting:
                    break;
            }
        }
    }
    return false;
}

OutgoingHandshake::WaitResult OutgoingHandshake::receiveFiltered(size_t& size,
                                                                 platform::SocketAddress& from) {
    using Result = platform::UdpSocket::Result;
    platform::UdpSocket& socket = session_.socket();
    const uint32_t waitMs = engine_.timings().handshakeWaitMs;
    uint32_t start = platform::tickCount();
    for (;;) {
        const uint32_t elapsed = platform::tickCount() - start;
        if (elapsed >= waitMs) {
            return WaitResult::Silent;
        }
        const Result ready = socket.waitReadable(std::min(waitMs - elapsed, kAbandonCheckMs));
        if (abandoned()) {
            return WaitResult::Abandoned;
        }
        if (ready == Result::TimedOut || ready == Result::Interrupted) {
            continue;
        }
        std::fill(buffer_.begin(), buffer_.end(), 0);
        platform::UdpSocket::Received got;
        got.result = ready;
        if (ready == Result::Ok) {
            got = socket.receiveFrom(buffer_.data(), buffer_.size());
        }
        if (got.result == Result::TimedOut) {
            continue;
        }
        if (got.result == Result::Truncated) {
            engine_.log(formatText(
                "Recv [WSAEMSGSIZE] Failed on socket %x, bufsize=%d,  recvsize=%d", socket.handle(),
                static_cast<int>(buffer_.size()), static_cast<int>(got.datagramSize)));
            return WaitResult::Silent;
        }
        if (got.result != Result::Ok) {
            engine_.log(
                formatText("Recv Failed on socket %x, ErrorCode = %d, bufsize=%d,  recvsize=%d",
                           socket.handle(), got.error, static_cast<int>(buffer_.size()),
                           static_cast<int>(got.size)));
            return WaitResult::Silent;
        }
        if (engine_.sequenceCheck()) {
            const bool signed_ = hasSignature(buffer_.data(), got.size);
            const auto view = MessageView::read(buffer_.data(), got.size);
            const bool oldVoice = view && view->code() == MSG_VOICE && view->hasSequence() &&
                                  view->sequence() <= session_.voiceSequenceIn();
            if (!signed_ || oldVoice) {
                start = platform::tickCount();  // dropped: wait again with the full time-out
                continue;
            }
        }
        size = got.size;
        from = got.from;
        return WaitResult::Datagram;
    }
}

OutgoingHandshake::Outcome OutgoingHandshake::handle(size_t size,
                                                     const platform::SocketAddress& from) {
    const auto view = MessageView::read(buffer_.data(), size);
    if (!view) {
        engine_.log("Ignoring an invalid message");
        return Outcome::KeepWaiting;
    }
    const platform::SocketAddress& expected = session_.destination();
    if (from.ip != expected.ip) {
        engine_.log(formatText("Ignoring message from %s Expected only from %s",
                               from.text().c_str(), expected.text().c_str()));
        return Outcome::KeepWaiting;
    }
    switch (view->code()) {
        case MSG_CONNECT_ACCEPT: {
            ConnectFields peer = readConnectAccept(*view, request_.expectedUser);
            if (!engine_.isCallActive()) {
                engine_.adoptConferenceGuid(peer.conferenceGuid.empty() ? platform::newGuidText()
                                                                        : peer.conferenceGuid);
            }
            session_.setPeer(std::move(peer.userName), std::move(peer.identity), peer.version);
            engine_.log("Connected..");
            session_.markConnected();
            return Outcome::Accepted;
        }
        case MSG_NOT_LOGGED_IN_HERE:
            engine_.log("Remote user not logged into the IP address specified");
            engine_.notify(NotificationCode::NotLoggedInThere);
            return Outcome::Failed;
        case MSG_BUSY:
            if (!busyReported_) {
                busyReported_ = true;
                engine_.log("Remote user is busy on a call");
                engine_.notify(NotificationCode::CalleeBusy);
            }
            // The callee may still answer once its own call ends.
            pause(engine_.timings().busyPauseMs);
            return Outcome::KeepWaiting;
        case MSG_RINGING:
            engine_.log("Ringing now at remote..");
            engine_.notify(NotificationCode::Ringing);
            return Outcome::KeepWaiting;
        case MSG_RING_STOPPED:
            engine_.log("Ringing stopped at remote..");
            return Outcome::Failed;
        case MSG_OTHER_CONFERENCE:
            engine_.log("CANNOT connect to another voice session");
            engine_.notify(NotificationCode::OtherConference);
            return Outcome::Failed;
        default:
            return Outcome::KeepWaiting;
    }
}

}  // namespace ostrel::engine
