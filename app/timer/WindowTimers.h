// Application: the window timers 17 (every second: call clock, congestion check, call
// report) and 16 (every 45 s: status check and status panes), and message 0xFFFF. GUI thread
// only; they do no network work, only post it to the timer thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/timer/TimerHost.h"

namespace ostrel::app {

inline constexpr int kCallClockTimerId = 17;
inline constexpr int kStatusTimerId = 16;
inline constexpr unsigned kCallClockMs = 1000;
inline constexpr unsigned kStatusCheckMs = 45000;
inline constexpr unsigned kSettingsChangedMessage = 0xFFFF;

// A party whose delay report is this much overdue counts as congested; probes come every 10 s.
inline constexpr uint32_t kCongestedAfterMs = 10000;

// "Active %H:%M:%S" for a call of that length.
std::string ActiveCallText(uint32_t seconds);
// "Network congestion with\n------" and "\n" + name per congested party; empty when none is.
std::string CongestionText(const std::vector<PartyDelay>& parties, uint32_t now);

class WindowTimers {
public:
    explicit WindowTimers(WindowTimerHost& host) : host_(host) {}

    // Timer 17. `now` is the tick count (platform::tickCount()).
    void OnCallClock(uint32_t now);
    // Timer 16, and once by hand at start-up.
    void OnStatusTimer();
    // Message 0xFFFF: only the status panes, no status check.
    void OnSettingsChanged();

    uint32_t Ticks() const { return ticks_.load(); }

private:
    void showStatusPanes();

    WindowTimerHost& host_;
    std::atomic<uint32_t> ticks_{0};
};

}  // namespace ostrel::app
