#include "engine/PeriodicTimer.h"

#include <chrono>

namespace ostrel::engine {

PeriodicTimer::PeriodicTimer(uint32_t periodMs, Callback callback)
    : periodMs_(periodMs), callback_(std::move(callback)), thread_([this] { run(); }) {}

void PeriodicTimer::kill() {
    {
        std::lock_guard lock(mutex_);
        killed_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PeriodicTimer::run() {
    const auto period = std::chrono::milliseconds(periodMs_);
    auto next = std::chrono::steady_clock::now() + period;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (wake_.wait_until(lock, next, [this] { return killed_; })) {
            return;
        }
        lock.unlock();
        callback_();
        lock.lock();
        next += period;
        // After a long stall the missed ticks are not made up in a burst.
        const auto now = std::chrono::steady_clock::now();
        if (next < now) {
            next = now + period;
        }
    }
}

}  // namespace ostrel::engine
