#include "gateway/BridgeCall.h"

#include <algorithm>

#include "gateway/EventText.h"
#include "platform/Platform.h"

namespace ostrel::gateway {

using engine::MessageView;
using engine::SessionMessage;

namespace {

// Tick counts wrap after 49.7 days; a due time counts as reached once the unsigned distance
// from it is less than half the range.
bool reached(uint32_t now, uint32_t due) {
    return static_cast<int32_t>(now - due) >= 0;
}

uint32_t until(uint32_t now, uint32_t due) {
    return reached(now, due) ? 0 : due - now;
}

}  // namespace

BridgeCall::BridgeCall(const platform::SocketAddress& caller, const engine::ConnectFields& request,
                       const BridgeSettings& settings, CallOutput& output, uint32_t now)
    : caller_(caller),
      request_(request),
      settings_(settings),
      output_(output),
      who_(caller.text()),
      ringStart_(now),
      lastHeard_(now) {
    output_.event("call from " + who_ + " user=" + printable(request_.userName) +
                  " version=" + std::to_string(request_.version));
    send(engine::buildEmpty(engine::MSG_RINGING));
    output_.event("ringing " + who_);
}

void BridgeCall::receive(const MessageView& message, uint32_t now) {
    if (state_ == State::Ended) {
        return;
    }
    lastHeard_ = now;
    switch (message.code()) {
        case engine::MSG_CONNECT_REQUEST:
            // The caller resends its request only when it heard none of our answers: ringing
            // goes on by itself, but a lost accept is worth one more copy.
            if (state_ == State::Connected && answersLeft_ == 0) {
                sendAnswer();
            }
            break;
        case engine::MSG_HANGUP:
            if (state_ == State::Ringing) {
                output_.event("hangup " + who_ + " while ringing");
            } else if (state_ == State::Connected) {
                output_.event("hangup " + who_ + " after " + std::to_string(now - connectTime_) +
                              " ms");
            }
            state_ = State::Ended;
            break;
        case engine::MSG_DTMF:
            if (state_ == State::Connected) {
                takeDigits(message, now);
            }
            break;
        case engine::MSG_VOICE:
            if (state_ == State::Connected) {
                takeVoice(message);
            }
            break;
        default:
            break;  // probes are answered by the bridge; other codes mean nothing here
    }
}

void BridgeCall::takeDigits(const MessageView& message, uint32_t now) {
    // The sender numbers its digit messages from 1 and resends each until acknowledged. The
    // next number, or one already taken (our acknowledgement was lost), is acknowledged; only
    // the next one is taken. A later number is left unacknowledged so it comes again in order.
    const uint32_t sequence = engine::dtmfSequence(message);
    if (sequence > digitSequenceIn_ + 1) {
        return;
    }
    send(engine::buildDtmfAck(message));
    if (sequence == digitSequenceIn_ + 1) {
        digitSequenceIn_ = sequence;
        output_.event("digits " + printable(engine::dtmfDigits(message)) + " at " +
                      std::to_string(now - connectTime_) + " ms");
    }
}

void BridgeCall::takeVoice(const MessageView& message) {
    if (settings_.voice != VoiceMode::Echo || !decoder_ || !voice_) {
        return;
    }
    if (message.hasSequence()) {
        // A late or repeated packet would play a moment of speech twice or out of order.
        if (message.sequence() <= voiceSequenceIn_) {
            return;
        }
        voiceSequenceIn_ = message.sequence();
    }
    VoiceBlock pcm{};
    uint32_t count = 0;
    decoder_->decodeMessage(message, pcm.data(), pcm.size(), count);
    // Only the frames that arrived were decoded; a larger claimed count is not echoed.
    const size_t decoded = std::min<size_t>(count, message.frameCount() * engine::kFrameSamples);
    voice_->take(std::span<const int16_t>(pcm.data(), decoded));
}

void BridgeCall::advance(uint32_t now) {
    switch (state_) {
        case State::Ringing:
            if (reached(now, ringStart_ + settings_.ringMs)) {
                answersLeft_ = std::max<uint32_t>(settings_.answerRepeats, 1);
                if (settings_.reject) {
                    state_ = State::Rejecting;
                    output_.event("rejected " + who_);
                } else {
                    state_ = State::Connected;
                    connectTime_ = now;
                    conferenceGuid_ = request_.conferenceGuid.empty() ? platform::newGuidText()
                                                                      : request_.conferenceGuid;
                    output_.event("accepted " + who_ +
                                  " bridge-type=" + std::to_string(request_.bridgeType) +
                                  " connection-string=\"" + printable(request_.connectionString) +
                                  "\" conference=" + printable(conferenceGuid_));
                    voice_ = VoiceSource::create(settings_);
                    encoder_ = audio::SpeechCodec::create();
                    decoder_ = audio::SpeechCodec::create();
                    nextVoiceAt_ = now + settings_.voiceIntervalMs;
                }
                nextAnswerAt_ = now;
            }
            break;
        case State::Connected:
        case State::Rejecting:
            break;
        case State::Ended:
            return;
    }
    while (answersLeft_ > 0 && reached(now, nextAnswerAt_)) {
        sendAnswer();
        --answersLeft_;
        nextAnswerAt_ += settings_.answerGapMs;
        if (answersLeft_ == 0 && state_ == State::Rejecting) {
            state_ = State::Ended;
            return;
        }
    }
    if (state_ == State::Connected && reached(now, nextVoiceAt_)) {
        sendVoice();
        nextVoiceAt_ += settings_.voiceIntervalMs;
        // After a stall, go on from now instead of sending the missed blocks in a burst.
        if (reached(now, nextVoiceAt_)) {
            nextVoiceAt_ = now + settings_.voiceIntervalMs;
        }
    }
    if (now - lastHeard_ >= settings_.silenceLimitMs) {
        output_.event("dropped " + who_ + ": silent for " +
                      std::to_string(settings_.silenceLimitMs) + " ms");
        send(engine::buildEmpty(engine::MSG_HANGUP));
        state_ = State::Ended;
    }
}

void BridgeCall::sendAnswer() {
    if (state_ == State::Rejecting) {
        send(engine::buildEmpty(engine::MSG_RING_STOPPED));
        return;
    }
    engine::ConnectFields fields;
    fields.userName = settings_.userName;
    fields.version = engine::kProtocolVersion;
    fields.identity = settings_.identity;
    fields.conferenceGuid = conferenceGuid_;
    send(engine::buildConnectAccept(fields));
}

void BridgeCall::sendVoice() {
    if (!encoder_ || !voice_) {
        return;
    }
    VoiceBlock block{};
    voice_->next(block);
    SessionMessage message(engine::MSG_VOICE);
    encoder_->encodeMessage(block.data(), block.size(), message);
    message.appendVoiceTrailer(voiceSequenceOut_);
    send(message);
}

uint32_t BridgeCall::msUntilDue(uint32_t now) const {
    uint32_t due = until(now, lastHeard_ + settings_.silenceLimitMs);
    switch (state_) {
        case State::Ringing:
            due = std::min(due, until(now, ringStart_ + settings_.ringMs));
            break;
        case State::Connected:
            due = std::min(due, until(now, nextVoiceAt_));
            [[fallthrough]];
        case State::Rejecting:
            if (answersLeft_ > 0) {
                due = std::min(due, until(now, nextAnswerAt_));
            }
            break;
        case State::Ended:
            return 0;
    }
    return due;
}

void BridgeCall::end(std::string_view reason) {
    if (state_ == State::Ended) {
        return;
    }
    // A caller still ringing fails at once on ring-stopped; a connected one takes a hang-up.
    send(engine::buildEmpty(state_ == State::Connected ? engine::MSG_HANGUP
                                                       : engine::MSG_RING_STOPPED));
    output_.event("ended " + who_ + ": " + std::string(reason));
    state_ = State::Ended;
}

}  // namespace ostrel::gateway
