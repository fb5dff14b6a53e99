// An EventSink for tests: keeps every event line and lets a test wait for one that contains a
// given text. The gateway's threads write; the test thread reads and waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gateway/EventSink.h"

namespace gatewaytest {

class EventLog : public ostrel::gateway::EventSink {
public:
    void event(std::string_view line) override {
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
            for (const auto& l : lines_) {
                if (l.find(part) != std::string::npos) {
                    found = l;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // Every line containing `part`.
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

private:
    std::mutex mutex_;  // guards lines_
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

}  // namespace gatewaytest
