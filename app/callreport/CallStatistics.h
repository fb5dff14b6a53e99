// Call reports: the three traffic counters of the Statistics window, summed over the whole
// run of the program. GUI thread only: the window counts the notifications it handles.
#pragma once

#include <cstdint>

#include "engine/Notification.h"

namespace ostrel::callreport {

struct CallStatistics {
    uint32_t bytesReceived = 0;  // notification 2
    uint32_t bytesSent = 0;      // notification 1
    uint32_t lostPackets = 0;    // notification 17

    // Adds the count of a traffic notification of the current call's engine; the caller
    // passes only those. True when a counter changed (the open window is then refreshed).
    bool count(const engine::Notification& notification);
};

}  // namespace ostrel::callreport
