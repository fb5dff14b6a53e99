// A fixed-size text that ordinary code may replace while a signal handler reads it: two
// buffers and an atomic index, so a reader always sees a whole text (the one before or the
// one after a change). set() from ordinary code; get() from anywhere.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string_view>

namespace ostrel::fault {

template <size_t Size>
class SignalSafeText {
public:
    static_assert(Size > 1);

    // Texts longer than Size - 1 bytes are cut.
    void set(std::string_view text) {
        std::lock_guard lock(writer_);
        const int next = 1 - current_.load();
        const size_t length = std::min(text.size(), Size - 1);
        std::memcpy(slots_[next], text.data(), length);
        slots_[next][length] = '\0';
        current_.store(next, std::memory_order_release);
    }

    const char* get() const noexcept { return slots_[current_.load(std::memory_order_acquire)]; }

private:
    char slots_[2][Size] = {};
    std::atomic<int> current_{0};
    std::mutex writer_;  // serialises set(); a reader only ever takes the published slot
};

}  // namespace ostrel::fault
