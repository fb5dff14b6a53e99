// Lines that other threads report (a gateway's event sink, the reader of a program's output),
// kept in order, and waits for one that contains a given text. Any thread adds; the test
// thread reads and waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::test {

class LineLog {
public:
    void add(std::string_view line) {
        {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        }
        changed_.notify_all();
    }

    // The first line containing `part`, waiting up to `ms` for it.
    std::optional<std::string> waitFor(const std::string& part, int ms = 2000) {
        std::unique_lock lock(mutex_);
        std::optional<std::string> found;
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            found = firstWithLocked(part);
            return found.has_value();
        });
        return found;
    }

    // Every line containing `part` so far.
    std::vector<std::string> matching(const std::string& part) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& l : lines_) {
            if (l.find(part) != std::string::npos) {
                out.push_back(l);
            }
        }
        return out;
    }

    std::vector<std::string> all() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::optional<std::string> firstWithLocked(const std::string& part) const {
        for (const auto& l : lines_) {
            if (l.find(part) != std::string::npos) {
                return l;
            }
        }
        return std::nullopt;
    }

    std::mutex mutex_;  // guards lines_
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

}  // namespace ostrel::test
