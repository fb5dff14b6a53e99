// Problem reporter: the switches the client's crash handler passes to ferrule, read once on
// the GUI thread at start-up. A switch is a token starting with "-", matched without regard
// to case; its value is the next token, with one pair of surrounding double quotes removed.
#pragma once

#include <string>
#include <vector>

namespace ostrel::reporter {

struct ReporterSwitches {
    std::string reportFile;    // -f: the crash report to show and send
    std::string version;       // -v: the client's "major.minor"
    std::string build;         // -b: the client's build number
    std::string server;        // -s: host ("host" or "host:port") of the report page
    std::string serverPath;    // -p: path of the report page on that host
    std::string application;   // -a: the client executable, started again on request
    std::string instanceGuid;  // -i: instance GUID of the client that crashed
};

// `arguments` are the program's arguments without the program name. Unknown switches and
// stray tokens are ignored; a switch given twice keeps its last value. A switch directly
// followed by another known switch (its value left out) reads as empty.
ReporterSwitches parseReporterSwitches(const std::vector<std::string>& arguments);

// The text with one pair of surrounding double quotes removed, if it has them.
std::string withoutQuotes(const std::string& text);

}  // namespace ostrel::reporter
