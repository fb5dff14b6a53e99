// "&Test Audio Settings" in the main window: the audio test, modal, with copies of the
// window's volume sliders. Refused during a call, which holds the sound card.
#pragma once

namespace ostrel::app {

class COstrelDlg;

inline constexpr const char* kNoTestInCall =
    "You cannot test the mic settings when a call is in progress.";

// Gives the window's menu entry its handler.
void hostAudioTest(COstrelDlg& window);

// The entry's work: the refusal, or the dialog until the user closes it.
void runAudioTest(COstrelDlg& window);

}  // namespace ostrel::app
