#include "engine/Mixer.h"

#include <algorithm>

namespace ostrel::engine {

void Mixer::sum(std::span<const int16_t* const> blocks) {
    blocks_.assign(blocks.begin(), blocks.end());
    sum_.fill(0);
    contributors_ = 0;
    for (const int16_t* block : blocks_) {
        if (block == nullptr) {
            continue;
        }
        ++contributors_;
        for (size_t k = 0; k < kBlockSamples; ++k) {
            sum_[k] += block[k];
        }
    }
}

bool Mixer::mixFor(size_t i, int16_t* out) const {
    const int16_t* own = i < blocks_.size() ? blocks_[i] : nullptr;
    if (contributors_ - (own != nullptr ? 1 : 0) == 0) {
        return false;
    }
    for (size_t k = 0; k < kBlockSamples; ++k) {
        const int32_t v = sum_[k] - (own != nullptr ? own[k] : 0);
        out[k] = static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
    }
    return true;
}

}  // namespace ostrel::engine
