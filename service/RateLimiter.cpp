#include "service/RateLimiter.h"

namespace ostrel::service {

bool RateLimiter::allow(const std::string& key, int64_t nowMs) {
    std::lock_guard lock(mutex_);
    // Forget finished windows now and then so the map holds only recent sources.
    if (windows_.size() > 10'000) {
        std::erase_if(windows_,
                      [&](const auto& item) { return nowMs - item.second.startMs >= windowMs_; });
    }
    Window& window = windows_[key];
    if (window.count == 0 || nowMs - window.startMs >= windowMs_) {
        window.startMs = nowMs;
        window.count = 0;
    }
    if (window.count >= max_) {
        return false;
    }
    ++window.count;
    return true;
}

}  // namespace ostrel::service
