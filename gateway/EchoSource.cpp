#include "gateway/EchoSource.h"

#include <algorithm>

namespace ostrel::gateway {

void EchoSource::take(std::span<const int16_t> samples) {
    queue_.insert(queue_.end(), samples.begin(), samples.end());
    if (queue_.size() > kMaxQueuedSamples) {
        queue_.erase(queue_.begin(), queue_.begin() + (queue_.size() - kMaxQueuedSamples));
    }
}

void EchoSource::next(VoiceBlock& block) {
    // A partial block waits for the rest rather than going out with a gap in the middle.
    if (queue_.size() < block.size()) {
        block.fill(0);
        return;
    }
    std::copy_n(queue_.begin(), block.size(), block.begin());
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(block.size()));
}

}  // namespace ostrel::gateway
