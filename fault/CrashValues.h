// Everything the crash handler passes on, worked out once at start-up in ordinary code: the
// report file, the reporter program, the version and build, the report server and page, and
// the client's own path.
#pragma once

#include <ctime>
#include <string>

namespace ostrel::fault {

struct CrashValues {
    std::string reportPath;
    std::string reporterPath;
    std::string version;
    std::string build;
    std::string server;
    std::string serverPath;
    std::string application;

    // From the program folder of the running client (injectable for tests), the time of
    // start-up and the settings; creates the Logs folder.
    static CrashValues prepare(const std::string& programFolder, std::time_t startTime);
    static CrashValues prepare();
};

// "YYYY_MM_DD_hh-mm-ss.RPT" of a local time.
std::string reportFileName(const std::tm& localTime);

// programFolder/Logs when it can be created and written, else the settings folder's Logs;
// when neither works, programFolder/Logs (the crash then leaves no report).
std::string chooseLogsFolder(const std::string& programFolder, const std::string& settingsFolder);

}  // namespace ostrel::fault
