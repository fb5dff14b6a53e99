// Counts requests per key (a source address) in fixed windows and refuses those over the
// limit. Any thread may call; one lock guards the counters.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace ostrel::service {

class RateLimiter {
public:
    RateLimiter(int maxPerWindow, int64_t windowMs) : max_(maxPerWindow), windowMs_(windowMs) {}

    // True when this request is within the limit (and counts it).
    bool allow(const std::string& key, int64_t nowMs);

private:
    struct Window {
        int64_t startMs = 0;
        int count = 0;
    };

    const int max_;
    const int64_t windowMs_;
    std::mutex mutex_;  // guards windows_
    std::unordered_map<std::string, Window> windows_;
};

}  // namespace ostrel::service
