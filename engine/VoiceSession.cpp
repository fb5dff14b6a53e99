#include "engine/VoiceSession.h"

#include <algorithm>

#include "engine/NetCore.h"
#include "engine/OutgoingHandshake.h"
#include "platform/Platform.h"

namespace ostrel::engine {

namespace {

SessionId nextSessionId() {
    static std::atomic<uint64_t> last{0};
    return SessionId{++last};
}

constexpr size_t kMaxDescription = 255;

}  // namespace

VoiceSession::VoiceSession(NetCore& engine, SessionType type, const platform::SocketAddress& peer)
    : engine_(engine),
      id_(nextSessionId()),
      type_(type),
      peerAddress_(peer),
      encoder_(audio::SpeechCodec::create()),
      decoder_(audio::SpeechCodec::create()) {
    if (type_ == SessionType::Outgoing) {
        return;
    }
    if (!socket_.bind(platform::SocketAddress::loopback(0))) {
        engine_.log("ANY PORT bind() failed on the UDP socket");
        socket_.close();
        return;
    }
    ownAddress_ = socket_.localAddress().value_or(platform::SocketAddress{});
    destination_ = type_ == SessionType::Local
                       ? ownAddress_
                       : platform::SocketAddress::loopback(engine_.listeningPort());
}

VoiceSession::~VoiceSession() {
    socket_.close();
}

void VoiceSession::setPeer(std::string userName, std::string identity, uint32_t version) {
    peerUserName_ = std::move(userName);
    peerIdentity_ = std::move(identity);
    peerVersion_ = version;
}

std::string VoiceSession::peerDescription() const {
    std::string description;
    if (type_ == SessionType::Outgoing && request_.viaBridge && request_.bridgeType == 2) {
        description = "[H323] " + request_.connectionString;
    } else if (type_ == SessionType::Outgoing && request_.viaBridge && request_.bridgeType == 1) {
        description = "[Ph#] " + request_.dtmf3;
    } else {
        description = peerUserName_;
    }
    if (description.size() > kMaxDescription) {
        description.resize(kMaxDescription);
    }
    return description;
}

void VoiceSession::noteHeard() {
    lastHeard_.store(platform::tickCount());
}

void VoiceSession::markConnected() {
    const uint32_t now = platform::tickCount();
    connectTime_.store(now);
    lastHeard_.store(now);
    connected_.store(true);
}

void VoiceSession::assignSessionGuid() {
    sessionGuid_ = platform::newGuidText();
}

bool VoiceSession::send(const SessionMessage& message, int* error) {
    const auto result = socket_.sendTo(destination_, message.data(), message.size(), error);
    if (result != platform::UdpSocket::Result::Ok) {
        return false;
    }
    const auto bytes = static_cast<uint32_t>(message.size());
    sentBytes_ += bytes;
    engine_.notify(NotificationCode::BytesSent, SessionCount{id_, bytes});
    return true;
}

bool VoiceSession::connect(const ConnectionRequest& request) {
    request_ = request;
    if (connected_.load()) {
        engine_.log("Already Connected");
        return false;
    }
    // A gateway call stays muted until its automatic digits are out, so the telephone
    // network's prompts are not played and the local voice does not disturb the digits.
    if (request_.autoDtmf) {
        muted_.store(true);
    }
    destination_ = platform::SocketAddress{platform::SocketAddress::kAny, request_.port};
    connectLock_.WaitOnSemaphore(sync::kInfinite);
    const auto release = [this] { connectLock_.SignalSemaphore(); };
    if (!socket_.open()) {
        engine_.log("Connect Failed");
        release();
        return false;
    }
    const auto ip = platform::resolveIpv4(request_.address);
    if (!ip) {
        engine_.log("gethostbyname failed");
        engine_.notify(NotificationCode::ResolveFailed, SessionEvent{id_, peerDescription()});
        socket_.close();
        release();
        return false;
    }
    destination_.ip = *ip;
    OutgoingHandshake(engine_, *this, request_).run();
    if (!connected_.load()) {
        engine_.log("Connect Failed");
        engine_.notify(NotificationCode::ConnectFailed, request_);
        socket_.close();
        release();
        return false;
    }
    release();
    return true;
}

void VoiceSession::disconnect(bool sendHangup) {
    if (connected_.load()) {
        engine_.notify(NotificationCode::PeerDisconnected, SessionEvent{id_, peerDescription()});
        if (sendHangup && type_ == SessionType::Outgoing) {
            send(buildEmpty(MSG_HANGUP));
        } else if (sendHangup && type_ == SessionType::Incoming) {
            engine_.sendFromListener(buildEmpty(MSG_HANGUP), peerAddress_);
        }
        connected_.store(false);
    }
    socket_.close();
}

void VoiceSession::sendDigits(std::string_view digits) {
    // Peers before version 6 do not acknowledge digits; they would be resent for ever.
    if (digits.empty() || peerVersion_ < 6) {
        return;
    }
    digitLock_.WaitOnSemaphore(sync::kInfinite);
    const uint32_t sequence = digitSequenceOut_++;
    PendingDigits pending{sequence, platform::tickCount(), buildDtmf(sequence, digits)};
    if (pendingDigits_.size() < kMaxDigitsInFlight) {
        send(pending.message);
    }
    pendingDigits_.push_back(std::move(pending));
    digitLock_.SignalSemaphore();
}

void VoiceSession::acknowledgeDigits(uint32_t sequence) {
    digitLock_.WaitOnSemaphore(sync::kInfinite);
    std::erase_if(pendingDigits_, [&](const PendingDigits& p) { return p.sequence == sequence; });
    digitLock_.SignalSemaphore();
}

void VoiceSession::resendPendingDigits(uint32_t now) {
    digitLock_.WaitOnSemaphore(sync::kInfinite);
    const size_t count = std::min(pendingDigits_.size(), kDigitsResentPerPass);
    for (size_t i = 0; i < count; ++i) {
        PendingDigits& pending = pendingDigits_[i];
        // Signed: a message numbered after `now` was read must not look 49 days old.
        if (static_cast<int32_t>(now - pending.sentAt) > static_cast<int32_t>(kDigitResendMs)) {
            send(pending.message);
            pending.sentAt = now;
        }
    }
    digitLock_.SignalSemaphore();
}

bool VoiceSession::sendVoice(SessionMessage& message, int* error) {
    if (!message.appendVoiceTrailer(voiceSequenceOut_)) {
        return false;
    }
    return send(message, error);
}

bool VoiceSession::isFromPeer(const platform::SocketAddress& from) const {
    if (type_ == SessionType::Local) {
        return from == ownAddress_;
    }
    return from.ip == destination_.ip;
}

bool VoiceSession::handleControl(const MessageView& message, const platform::SocketAddress& from) {
    noteHeard();
    if (type_ == SessionType::Local || !connected_.load() || from.ip != destination_.ip) {
        return false;
    }
    switch (message.code()) {
        case MSG_HANGUP:
            engine_.log("Hangup request received");
            return true;
        case MSG_R_U_THERE:
            engine_.log("R U There received");
            send(buildProbeAnswer(message));
            return false;
        case MSG_I_AM_HERE: {
            const uint32_t delay = platform::tickCount() - probeTick(message);
            engine_.notify(NotificationCode::DelayMeasured,
                           DelayRecord{id_, probeCookie(message), delay,
                                       static_cast<uint32_t>(pcmQueue_.size())});
            return false;
        }
        case MSG_DTMF: {
            // Digits are taken strictly in order: a repeat of the last is acknowledged again
            // (our ack was lost), a gap is left unacknowledged until the sender fills it.
            const uint32_t sequence = dtmfSequence(message);
            const uint32_t last = digitSequenceIn_.load();
            if (sequence <= last + 1) {
                send(buildDtmfAck(message));
            }
            if (sequence == last + 1) {
                digitSequenceIn_.store(sequence);
            }
            return false;
        }
        case MSG_DTMF_ACK:
            acknowledgeDigits(dtmfSequence(message));
            return false;
        default:
            return false;
    }
}

void VoiceSession::runAutomaticDigits(uint32_t now) {
    if (type_ != SessionType::Outgoing || !request_.viaBridge || !request_.autoDtmf ||
        !connected_.load()) {
        return;
    }
    if (!digitsDone_) {
        const uint32_t elapsed = now - connectTime_.load();
        const auto sendStep = [&](int step, const std::string& digits) {
            sendDigits(digits);
            digitStepSent_[step] = true;
            engine_.notify(NotificationCode::DigitsSent, DigitsSentRecord{digits, id_});
        };
        const auto finish = [&] {
            digitsDone_ = true;
            digitsDoneTime_ = now;
        };
        if (!digitStepSent_[0] && elapsed > request_.delay1) {
            sendStep(0, request_.dtmf1);
            if (request_.dtmf2.empty()) {
                digitStepSent_[1] = true;
                if (request_.dtmf3.empty()) {
                    digitStepSent_[2] = true;
                    finish();
                }
            }
        } else if (digitStepSent_[0] && !digitStepSent_[1] && elapsed > request_.delay2) {
            sendStep(1, request_.dtmf2);
            if (request_.dtmf3.empty()) {
                digitStepSent_[2] = true;
                finish();
            }
        } else if (digitStepSent_[1] && !digitStepSent_[2] && elapsed > request_.delay3) {
            sendStep(2, request_.dtmf3);
            finish();
        }
        return;
    }
    if (muted_.load() && now - digitsDoneTime_ > kUnmuteDelayMs) {
        muted_.store(false);
    }
}

size_t VoiceSession::pendingDigitCount() {
    digitLock_.WaitOnSemaphore(sync::kInfinite);
    const size_t count = pendingDigits_.size();
    digitLock_.SignalSemaphore();
    return count;
}

}  // namespace ostrel::engine
