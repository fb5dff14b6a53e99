// Call reports: the party list of the current conversation as the main window keeps it, one
// record per row, and the copy of it that goes to the timer thread. GUI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/callreport/PartyRecord.h"

namespace ostrel::callreport {

// What the timer thread gets with a call-report message: copies of the records, tagged with
// the call they belong to so that a report that waited past the end of its call is dropped.
struct CallReportList {
    uint32_t call = 0;
    std::vector<PartyRecord> parties;
};

class CallParties {
public:
    // A party joined (notification 23), after its row has been added.
    PartyRecord& join(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick);
    // A party left (22, 26); false when it was not in the list.
    bool leave(engine::SessionId session);
    void clear() { parties_.clear(); }

    PartyRecord* find(engine::SessionId session);
    // Delay measured (27) and packets lost (17); false for a session not in the list.
    bool addDelaySample(engine::SessionId session, uint32_t delayMs, uint32_t nowTick);
    bool addLostPackets(engine::SessionId session, uint32_t count);

    // Names of the parties silent for too long, in list order (the congestion check).
    std::vector<std::string> congestedNames(uint32_t nowTick) const;

    CallReportList reportList(uint32_t call) const { return {call, parties_}; }
    const std::vector<PartyRecord>& parties() const { return parties_; }

private:
    std::vector<PartyRecord> parties_;
};

}  // namespace ostrel::callreport
