// Call reports: what the main window keeps about the call in progress, and when it hands a
// report to the timer thread (a party joined, a party left, every 300th tick of the call
// clock). GUI thread only; the lists it returns are posted to the timer thread as they are.
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
    // Ticks of the 1-second call clock between two reports (about five minutes), and between
    // two congestion checks.
    static constexpr uint32_t kReportEveryTicks = 300;
    static constexpr uint32_t kCongestionEveryTicks = 10;

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

    struct TickWork {
        std::vector<std::string> congested;  // names for the congestion pop-up, if any
        std::optional<CallReportList> report;
    };
    // Timer 17 while a call is active, with the tick counter after its increment.
    TickWork tick(uint32_t tickCounter, uint32_t nowTick) const;

    const CallParties& parties() const { return parties_; }

private:
    CallReporter& reporter_;
    CallParties parties_;
    uint32_t call_ = 0;
};

// The congestion pop-up's text: "Network congestion with\n------", then "\n" and each name.
std::string congestionText(const std::vector<std::string>& names);

}  // namespace ostrel::callreport
