// What the "Record/Play" group needs from the main window. Called on the GUI thread only.
#pragma once

#include <QString>

namespace ostrel::audio {
class WaveformDisplay;
}

namespace ostrel::recording::ui {

class RecordPlayHost {
public:
    virtual ~RecordPlayHost() = default;

    // The Rec button's new state, for the engine's recording switch; the window applies it
    // only when an engine exists and reports a call in progress.
    virtual void setEngineRecording(bool on) = 0;
    // The Program Settings dialog, modal; true when the user left it with OK.
    virtual bool openProgramSettings() = 0;
    // The main window's signal display (status texts, played samples); may be null.
    virtual audio::WaveformDisplay* waveformDisplay() = 0;

    // A message box with the text (default: a warning box).
    virtual void showMessage(const QString& text);
    // The Open File dialog for recordings starting in `startFolder`; "" when cancelled.
    virtual QString chooseRecordingFile(const QString& startFolder);
    // The click at the start of a playback (default: "click.wav" through the alert player).
    virtual void playStartClick();
};

}  // namespace ostrel::recording::ui
