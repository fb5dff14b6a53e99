// Call reports: what the main window keeps about the call in progress, and the report lists
// it hands to the timer thread (a party joined, a party left, every five minutes of a call).
// GUI thread only; the lists it returns are posted to the timer thread as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/callreport/CallParties.h"
#include "app/callreport/CallReporter.h"

namespace ostrel::callreport {

class CallBook {
public:
    explicit CallBook(CallReporter& reporter) : reporter_(reporter) {}

    // A call became active: a new party list, and reports start again from session 0.
    void callStarted();

    // Notification 23, after the party's row was added: the list to post.
    CallReportList partyJoined(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick);
    // Notifications 22 and 26, after the row was removed: the list to post, or nothing when
    // the party was not known.
    std::optional<CallReportList> partyLeft(engine::SessionId session);
    // Notification 27 with the two-way delay; false for a party not in the list.
    bool delayMeasured(engine::SessionId session, uint32_t twoWayMs, uint32_t nowTick);
    // Notification 17; false for a party not in the list.
    bool packetsLost(engine::SessionId session, uint32_t count);

    // The current parties' report (every five minutes of a call).
    CallReportList currentReport() const { return parties_.reportList(call_); }

    const CallParties& parties() const { return parties_; }

private:
    CallReporter& reporter_;
    CallParties parties_;
    uint32_t call_ = 0;
};

}  // namespace ostrel::callreport
