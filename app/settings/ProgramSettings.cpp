#include "app/settings/ProgramSettings.h"

#include "app/settings/RecordingsFolder.h"
#include "app/settings/Settings.h"
#include "app/settings/StartupEntry.h"
#include "platform/Text.h"

namespace ostrel::settings {

ProgramSettingsValues loadProgramSettings() {
    ProgramSettingsValues values;
    values.autoStartup = readStartupEntry().has_value();
    values.ringTime = read(value::RingTime);
    if (values.ringTime < kLowestLoadedRingTime) {
        values.ringTime = kLowestLoadedRingTime;
        write(value::RingTime, values.ringTime);
    }
    values.autoMMSettings = read(value::AutoMMSettings) != 0;
    values.recordingsDirectory = readOptional(value::RecordingsDirectory).value_or(std::string());
    values.popupBuddyOnline = read(value::PopupBuddyOnline) != 0;
    values.popupNetworkCongestion = read(value::PopupNetworkCongestion) != 0;
    values.popupBuddyJoinLeave = read(value::PopupBuddyJoinLeave) != 0;
    return values;
}

void saveProgramSettings(const ProgramSettingsValues& values, std::string_view programPath) {
    if (values.autoStartup) {
        writeStartupEntry(programPath);
    } else {
        deleteStartupEntry();
    }
    write(value::RingTime, values.ringTime);
    write(value::AutoMMSettings, values.autoMMSettings ? 1 : 0);
    const std::string folder = platform::trimmed(values.recordingsDirectory);
    write(value::RecordingsDirectory, folder);
    createFolderPath(folder);
    write(value::PopupBuddyJoinLeave, values.popupBuddyJoinLeave ? 1 : 0);
    write(value::PopupNetworkCongestion, values.popupNetworkCongestion ? 1 : 0);
    write(value::PopupBuddyOnline, values.popupBuddyOnline ? 1 : 0);
}

}  // namespace ostrel::settings
