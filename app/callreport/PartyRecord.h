// Call reports: one record per party of the current conversation, with its delay samples,
// lost packets and join time. Created, changed and read on the GUI thread; the timer thread
// sees only copies (CallReportList).
#pragma once

#include <cstdint>
#include <string>

#include "engine/Notification.h"
#include "engine/SessionId.h"

namespace ostrel::callreport {

struct PartyRecord {
    // A sample counts toward the average only when lower <= sample < upper.
    static constexpr uint32_t kDelayUpperLimit = 10000;
    static constexpr uint32_t kDelayLowerLimit = 1;
    // Silence on delay reports for longer than this marks the party as congested.
    static constexpr uint32_t kCongestionMs = 10000;

    std::string name;  // the peer description of the join report
    engine::SessionId session;
    uint32_t peerVersion = 0;

    uint32_t upperLimit = kDelayUpperLimit;
    uint32_t lowerLimit = kDelayLowerLimit;
    uint32_t lastDelay = 0;
    // Sum and count both start at 1, so a party that never reported averages 1 ms.
    uint64_t delaySum = 1;
    uint64_t delayCount = 1;
    uint32_t largestDelay = 1;
    uint32_t smallestDelay = kDelayUpperLimit;

    uint32_t joinTick = 0;
    // Every delay report moves it, in the limits or not: it is the party's sign of life.
    uint32_t lastDelayReportTick = 0;
    uint32_t lostPackets = 0;

    static PartyRecord joined(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick);

    void addDelaySample(uint32_t delayMs, uint32_t nowTick);
    uint64_t averageDelay() const { return delaySum / delayCount; }
    // Whether more than kCongestionMs have passed since the last delay report (tick
    // differences in unsigned 32-bit arithmetic, so the wrap after 49 days does no harm).
    bool congested(uint32_t nowTick) const;
};

}  // namespace ostrel::callreport
