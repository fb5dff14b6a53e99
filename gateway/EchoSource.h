// The caller's own voice sent back: decoded samples wait in a queue of at most five blocks
// (one second; older samples are dropped first, so the echo never lags further behind), and
// each 200 ms one block leaves, or silence while the caller says nothing. Bridge thread only.
#pragma once

#include <deque>

#include "gateway/VoiceSource.h"

namespace ostrel::gateway {

class EchoSource final : public VoiceSource {
public:
    static constexpr size_t kMaxQueuedSamples = 5 * engine::kBlockSamples;

    void take(std::span<const int16_t> samples) override;
    void next(VoiceBlock& block) override;

    size_t queuedSamples() const { return queue_.size(); }

private:
    std::deque<int16_t> queue_;
};

}  // namespace ostrel::gateway
