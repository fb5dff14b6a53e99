// Call reports: the missed calls of this run, newest first, held only in memory. GUI thread
// only: the incoming-call handling adds to it when the ringing dialog closes by itself.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace ostrel::callreport {

// The local time as the list shows it: "%B %d, %H:%M:%S" ("December 08, 14:03:10").
std::string missedCallTime(std::time_t when);

class MissedCalls {
public:
    struct Entry {
        std::string caller;
        std::string time;
    };

    // Inserts at the top; returns the new entry.
    const Entry& add(std::string caller, std::time_t when);
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::vector<Entry> entries_;  // newest first
};

}  // namespace ostrel::callreport
