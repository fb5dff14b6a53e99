// The end of a call: the main window's thread saves the call's recording, if there is one,
// into the recordings folder under a time-stamped name, and tells the user when it cannot.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "recording/ConversationRecorder.h"

namespace ostrel::recording {

inline constexpr std::string_view kSaveFailedText =
    "An error occured while saving the recorded conversation.\n. Please confirm that the "
    "recordings directory specified exists and the drive has sufficient amount of free space. "
    "(Atleast 100MB)\n The Settings dialog will be opened for you now.";

// What the end-of-call save needs from the window.
class CallEndSaveMessages {
public:
    virtual ~CallEndSaveMessages() = default;
    // A message box with the text; returns when the user closed it.
    virtual void showSaveError(std::string_view text) = 0;
    // The Program Settings dialog, modal.
    virtual void openProgramSettings() = 0;
};

enum class CallEndSaveResult {
    NothingRecorded,  // no conference, or no block was recorded: no file, no message
    Saved,
    Failed,  // the message was shown and the settings dialog opened
};

// "recording_Dec_08_26_14.03.10.vrec" for that local time. The month is always the English
// abbreviation, whatever the user's locale.
std::string recordingFileName(std::time_t when);

// The recordings folder from the settings, with "\" read as "/"; "" when it is missing,
// unreadable or blank.
std::string recordingsFolder();

// Saves into recordingsFolder() + "/" + recordingFileName(callEnd). `savedPath` receives the
// destination on success.
CallEndSaveResult saveRecordingAtCallEnd(const std::string& conferenceGuid,
                                         ConversationRecorder& recorder,
                                         CallEndSaveMessages& messages, std::time_t callEnd,
                                         std::string* savedPath = nullptr);

}  // namespace ostrel::recording
