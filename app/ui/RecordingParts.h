// Recording in the main window: the "Record/Play" group with its Rec button and player, and
// the recorder that every engine's voice blocks go to. A call's recording is saved when the
// call ends, before its engine stops; the next call that is recorded gets a fresh recorder.
// GUI thread, except the voice blocks, which come on engine threads. Made after the window's
// controls exist and before its engine starts; it must outlive the window's use of it.
#pragma once

#include <QPointer>

#include <memory>
#include <mutex>
#include <string>

#include "recording/ConversationRecorder.h"
#include "recording/ui/RecordPlayGroup.h"
#include "recording/ui/RecordPlayHost.h"

namespace ostrel::app {

class COstrelDlg;

class RecordingParts final : public recording::ui::RecordPlayHost {
public:
    explicit RecordingParts(COstrelDlg& window);

    RecordingParts(const RecordingParts&) = delete;
    RecordingParts& operator=(const RecordingParts&) = delete;

    // Whether Rec is pressed.
    bool isRecording() const;
    // The group in the window's "Record/Play" box (null once the window let go of it).
    recording::ui::RecordPlayGroup* group() const { return group_.data(); }
    // The recorder of the call in progress, or of the last one; null before the first Rec.
    std::shared_ptr<recording::ConversationRecorder> recorder() const;

    // RecordPlayHost.
    void setEngineRecording(bool on) override;
    bool openProgramSettings() override;
    audio::WaveformDisplay* waveformDisplay() override;

private:
    // Shared with the window's block recorder, which may be called on an engine thread that
    // outlives this object's use.
    struct Blocks {
        std::mutex lock;  // guards recorder
        std::shared_ptr<recording::ConversationRecorder> recorder;
    };

    void endOfCall();

    COstrelDlg& window_;
    std::shared_ptr<Blocks> blocks_ = std::make_shared<Blocks>();
    // Set when a call ended: the next Rec starts a new recorder (GUI thread only).
    bool callOver_ = true;
    QPointer<recording::ui::RecordPlayGroup> group_;
};

}  // namespace ostrel::app
