#include "fault/CrashValues.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/settings/Settings.h"
#include "app/settings/SettingsKey.h"
#include "fault/ProductVersion.h"
#include "platform/Platform.h"

namespace ostrel::fault {

namespace {

bool usableFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string reportFileName(const std::tm& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%04d_%02d_%02d_%02d-%02d-%02d.RPT", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

std::string chooseLogsFolder(const std::string& programFolder, const std::string& settingsFolder) {
    const std::string beside = platform::joinPath(programFolder, "Logs");
    if (usableFolder(beside)) {
        return beside;
    }
    // An installed client's folder is usually not writable by its user.
    const std::string fallback = platform::joinPath(settingsFolder, "Logs");
    if (usableFolder(fallback)) {
        return fallback;
    }
    return beside;
}

CrashValues CrashValues::prepare(const std::string& programFolder, std::time_t startTime) {
    std::tm local{};
    localtime_r(&startTime, &local);

    CrashValues v;
    v.reportPath = platform::joinPath(chooseLogsFolder(programFolder, settings::settingsFolder()),
                                      reportFileName(local));
    v.reporterPath = platform::joinPath(programFolder, "ferrule");
    v.version = std::to_string(version::kMajor) + "." + std::to_string(version::kMinor);
    v.build = std::to_string(version::kBuild);
    v.server = settings::read(settings::value::LastKnownServer);
    v.serverPath = settings::read(settings::value::LastKnownCrashFileServerPath);
    v.application = platform::programPath();
    return v;
}

CrashValues CrashValues::prepare() {
    return prepare(platform::programFolder(), std::time(nullptr));
}

}  // namespace ostrel::fault
