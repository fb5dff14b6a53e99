// The voice a bridge call sends back: one 1600-sample block per 200 ms, made by a tone
// generator or taken from the caller's own decoded voice. Each call owns one source and uses
// it on the bridge thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "engine/SessionMessage.h"
#include "gateway/BridgeSettings.h"

namespace ostrel::gateway {

using VoiceBlock = std::array<int16_t, engine::kBlockSamples>;

class VoiceSource {
public:
    virtual ~VoiceSource() = default;

    // Decoded samples received from the caller.
    virtual void take(std::span<const int16_t> samples) = 0;
    // Fills the next block to send.
    virtual void next(VoiceBlock& block) = 0;

    // The source the settings ask for.
    static std::unique_ptr<VoiceSource> create(const BridgeSettings& settings);
};

}  // namespace ostrel::gateway
