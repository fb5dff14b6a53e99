#include "recording/CallEndSave.h"

#include <algorithm>
#include <cstdio>

#include "app/settings/Settings.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace ostrel::recording {

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string recordingFileName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::snprintf(name, sizeof name, "recording_%s_%02d_%02d_%02d.%02d.%02d.vrec",
                  kMonths[std::clamp(local.tm_mon, 0, 11)], local.tm_mday, local.tm_year % 100,
                  local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

std::string recordingsFolder() {
    const auto stored = settings::readOptional(settings::value::RecordingsDirectory);
    if (!stored) {
        return {};
    }
    std::string folder = platform::trimmed(*stored);
    // The settings page creates the folder with "\" turned into "/", so the same is read here.
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder;
}

CallEndSaveResult saveRecordingAtCallEnd(const std::string& conferenceGuid,
                                         ConversationRecorder& recorder,
                                         CallEndSaveMessages& messages, std::time_t callEnd,
                                         std::string* savedPath) {
    if (conferenceGuid.empty() || !recorder.isStarted()) {
        return CallEndSaveResult::NothingRecorded;
    }
    const std::string folder = recordingsFolder();
    if (!folder.empty()) {
        const std::string destination = platform::joinPath(folder, recordingFileName(callEnd));
        if (recorder.save(destination)) {
            if (savedPath != nullptr) {
                *savedPath = destination;
            }
            return CallEndSaveResult::Saved;
        }
    }
    messages.showSaveError(kSaveFailedText);
    messages.openProgramSettings();
    return CallEndSaveResult::Failed;
}

}  // namespace ostrel::recording
