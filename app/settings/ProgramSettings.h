// The values the Program Settings page edits, loaded with the page's rules and saved in the
// page's order. Plain C++ over the settings store; GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::settings {

struct ProgramSettingsValues {
    bool autoStartup = false;
    uint32_t ringTime = 10;
    bool autoMMSettings = true;
    std::string recordingsDirectory;  // empty when none is stored
    bool popupBuddyOnline = true;
    bool popupNetworkCongestion = true;
    bool popupBuddyJoinLeave = true;
};

// The page accepts ring times of 1 to 30 seconds; a stored value below 5 is raised on load.
inline constexpr uint32_t kMinimumTypedRingTime = 1;
inline constexpr uint32_t kMaximumTypedRingTime = 30;
inline constexpr uint32_t kLowestLoadedRingTime = 5;

// Reads every value; a "RingTime" below 5 is raised to 5 and written back at once.
ProgramSettingsValues loadProgramSettings();

// Writes the start-up entry (or removes it), "RingTime", "AutoMMSettings",
// "RecordingsDirectory" (trimmed), creates the folder path, then the three pop-up values.
// The caller has checked the folder; `programPath` is what the start-up entry runs.
void saveProgramSettings(const ProgramSettingsValues& values, std::string_view programPath);

}  // namespace ostrel::settings
