// One caller of the bridge, from its connect request to its hang-up: rings, answers after the
// ring time (accept or ring-stopped, repeated), takes telephone digits by their sequence
// numbers, sends voice every 200 ms and notices a caller gone silent. Bridge thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/SpeechCodec.h"
#include "engine/SessionMessage.h"
#include "gateway/BridgeSettings.h"
#include "gateway/CallOutput.h"
#include "gateway/VoiceSource.h"
#include "platform/SocketAddress.h"

namespace ostrel::gateway {

class BridgeCall {
public:
    enum class State {
        Ringing,
        Connected,  // accepted; the first answers may still be going out
        Rejecting,  // ring-stopped answers going out
        Ended,
    };

    // Sends the ringing answer at once. `settings` and `output` outlive the call.
    BridgeCall(const platform::SocketAddress& caller, const engine::ConnectFields& request,
               const BridgeSettings& settings, CallOutput& output, uint32_t now);

    // A checked datagram from this caller.
    void receive(const engine::MessageView& message, uint32_t now);
    // Runs whatever is due at `now`: the answer, its repeats, voice, the silence limit.
    void advance(uint32_t now);
    // Milliseconds until advance has something to do (0: now).
    uint32_t msUntilDue(uint32_t now) const;
    // Ends the call from the gateway's side, telling the caller.
    void end(std::string_view reason);

    State state() const { return state_; }
    bool isOver() const { return state_ == State::Ended; }
    const platform::SocketAddress& caller() const { return caller_; }

private:
    void sendAnswer();
    void sendVoice();
    void takeDigits(const engine::MessageView& message, uint32_t now);
    void takeVoice(const engine::MessageView& message);
    void send(const engine::SessionMessage& message) { output_.send(caller_, message); }

    const platform::SocketAddress caller_;
    const engine::ConnectFields request_;
    const BridgeSettings& settings_;
    CallOutput& output_;
    const std::string who_;  // the caller's address as text, for event lines

    State state_ = State::Ringing;
    uint32_t ringStart_;
    uint32_t lastHeard_;
    uint32_t connectTime_ = 0;
    std::string conferenceGuid_;
    uint32_t answersLeft_ = 0;
    uint32_t nextAnswerAt_ = 0;

    std::unique_ptr<VoiceSource> voice_;
    std::unique_ptr<audio::SpeechCodec> encoder_;
    std::unique_ptr<audio::SpeechCodec> decoder_;
    uint32_t nextVoiceAt_ = 0;
    uint32_t voiceSequenceOut_ = 1;  // next voice sequence number sent
    uint32_t voiceSequenceIn_ = 0;   // last voice sequence number taken
    uint32_t digitSequenceIn_ = 0;   // last digit sequence number taken
};

}  // namespace ostrel::gateway
