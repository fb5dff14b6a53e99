#include "engine/PcmQueue.h"

namespace ostrel::engine {

bool PcmQueue::push(std::unique_ptr<PcmBlockBuffer> block) {
    lock_.WaitOnSemaphore(sync::kInfinite);
    const bool room = limit_ == kUnbounded || blocks_.size() < limit_;
    if (room) {
        blocks_.push_back(std::move(block));
    }
    lock_.SignalSemaphore();
    return room;
}

std::unique_ptr<PcmBlockBuffer> PcmQueue::pop() {
    std::unique_ptr<PcmBlockBuffer> block;
    lock_.WaitOnSemaphore(sync::kInfinite);
    if (!blocks_.empty()) {
        block = std::move(blocks_.front());
        blocks_.pop_front();
    }
    lock_.SignalSemaphore();
    return block;
}

size_t PcmQueue::size() {
    lock_.WaitOnSemaphore(sync::kInfinite);
    const size_t n = blocks_.size();
    lock_.SignalSemaphore();
    return n;
}

void PcmQueue::clear() {
    lock_.WaitOnSemaphore(sync::kInfinite);
    blocks_.clear();
    lock_.SignalSemaphore();
}

}  // namespace ostrel::engine
