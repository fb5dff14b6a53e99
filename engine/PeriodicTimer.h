// A periodic timer on the monotonic clock, in place of a multimedia timer: its own thread
// calls the callback every period, anchored to the start so that it does not drift. Killing
// it waits for a callback that is running; it must not be killed from inside the callback.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrel::engine {

class PeriodicTimer {
public:
    using Callback = std::function<void()>;

    PeriodicTimer(uint32_t periodMs, Callback callback);
    ~PeriodicTimer() { kill(); }

    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    void kill();

private:
    void run();

    const uint32_t periodMs_;
    Callback callback_;
    std::mutex mutex_;  // guards killed_
    std::condition_variable wake_;
    bool killed_ = false;
    std::thread thread_;
};

}  // namespace ostrel::engine
