// Decoded 200 ms blocks waiting for the mixer. A session's queue holds at most five (one
// second): beyond that the peer runs ahead of our capture clock and the newest block is
// dropped, so the delay never grows past a second. The local play queue has no bound; the
// mixer fills and drains it at the same pace. Any thread may push or pop; the CSem guards it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "engine/SessionMessage.h"
#include "sync/CSem.h"

namespace ostrel::engine {

using PcmBlockBuffer = std::array<int16_t, kBlockSamples>;

class PcmQueue {
public:
    static constexpr size_t kUnbounded = 0;

    explicit PcmQueue(size_t limit = kUnbounded) : limit_(limit) {}

    // False, and the block dropped, when the queue is full.
    bool push(std::unique_ptr<PcmBlockBuffer> block);
    // The oldest block, or nothing.
    std::unique_ptr<PcmBlockBuffer> pop();
    size_t size();
    void clear();

private:
    const size_t limit_;
    sync::CSem lock_;  // guards blocks_
    std::deque<std::unique_ptr<PcmBlockBuffer>> blocks_;
};

}  // namespace ostrel::engine
