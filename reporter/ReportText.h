// Problem reporter: the report text that is shown and sent, built once at start-up on the GUI
// thread from this system's identity (uname) and the crash report file, in the layout the
// report page stores: CRLF line ends, system lines framed by two rules of 85 asterisks each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::reporter {

// What uname tells about the running system.
struct SystemInfo {
    std::string name;     // "Linux"
    std::string release;  // "6.1.0-18-amd64"
    std::string version;  // "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"
};

SystemInfo currentSystemInfo();

// The rule line above and below the system lines, without its line end.
inline constexpr std::string_view kReportRule =
    "*************************************************************************************";

// Longest piece of a report line copied as one line; a longer line continues on the next.
inline constexpr size_t kReportLineLimit = 1023;

// The system lines, then the report file line by line. `reportFile` may be given in double
// quotes; a file that is missing or unreadable leaves only the system lines.
std::string buildReportText(const SystemInfo& system, std::string_view reportFile);

}  // namespace ostrel::reporter
