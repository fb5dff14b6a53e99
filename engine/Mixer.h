// The conference mix: every participant hears the sum of all the others. One pass sums the
// blocks that arrived, then gives each participant the sum less its own block, clipped to 16
// bits. The sum is a fixed 32-bit buffer (64 full-scale blocks cannot overflow it), so a pass
// allocates nothing. Used by one thread at a time (the engine serialises its passes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/SessionMessage.h"

namespace ostrel::engine {

class Mixer {
public:
    // `blocks[i]` is participant i's block of this pass, or null when it sent none.
    void sum(std::span<const int16_t* const> blocks);
    // Participant i's mix into `out` (1600 samples); false when nobody else contributed, and
    // then there is nothing to send or play.
    bool mixFor(size_t i, int16_t* out) const;
    size_t contributors() const { return contributors_; }

private:
    std::array<int32_t, kBlockSamples> sum_{};
    std::vector<const int16_t*> blocks_;
    size_t contributors_ = 0;
};

}  // namespace ostrel::engine
