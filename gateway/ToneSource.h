// A sine tone of one frequency at a moderate level, continuous from block to block, as the
// voice a bridge sends when it has nothing else to say. Used by one call on the bridge thread.
// The caller's voice is ignored.
#pragma once

#include "gateway/VoiceSource.h"

namespace ostrel::gateway {

class ToneSource final : public VoiceSource {
public:
    static constexpr double kSampleRate = 8000.0;
    // About -10 dB below full scale: loud enough to hear, far from clipping after coding.
    static constexpr double kAmplitude = 10000.0;

    explicit ToneSource(uint32_t hz) : hz_(hz) {}

    void take(std::span<const int16_t>) override {}
    void next(VoiceBlock& block) override;

private:
    uint32_t hz_;
    uint64_t sampleIndex_ = 0;  // position in the tone, so blocks join without a click
};

}  // namespace ostrel::gateway
