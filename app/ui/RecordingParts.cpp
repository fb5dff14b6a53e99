#include "app/ui/RecordingParts.h"

#include <QLayout>

#include "app/ui/COstrelDlg.h"

namespace ostrel::app {

RecordingParts::RecordingParts(COstrelDlg& window) : window_(window) {
    QGroupBox* box = window_.recordPlayGroup();
    auto* group = new recording::ui::RecordPlayGroup(*this, box);
    // The window's box carries the title and the frame.
    group->setTitle(QString());
    group->setFlat(true);
    box->layout()->setContentsMargins(0, 0, 0, 0);
    box->layout()->addWidget(group);
    group_ = group;

    window_.setBlockRecorder(
        [blocks = blocks_](const void* pcm, size_t byteCount, uint32_t direction) {
            std::shared_ptr<recording::ConversationRecorder> recorder;
            {
                std::lock_guard<std::mutex> hold(blocks->lock);
                recorder = blocks->recorder;
            }
            return recorder != nullptr && recorder->addBlock(pcm, byteCount, direction);
        });
    QObject::connect(&window_, &COstrelDlg::callBecameActive, group,
                     &recording::ui::RecordPlayGroup::callBecameActive);
    window_.addEndCallStep([this] { endOfCall(); });
    window_.addStopPlaybackStep([this] {
        if (group_) {
            group_->closePlayer();
        }
    });
    window_.addExitStep([this] {
        if (group_) {
            group_->stopPlayback();
        }
    });
}

bool RecordingParts::isRecording() const {
    return group_ && group_->isRecording();
}

std::shared_ptr<recording::ConversationRecorder> RecordingParts::recorder() const {
    std::lock_guard<std::mutex> hold(blocks_->lock);
    return blocks_->recorder;
}

void RecordingParts::setEngineRecording(bool on) {
    window_.withEngine([&](engine::Engine& engine) {
        if (!engine.isCallActive()) {
            return;
        }
        if (on && callOver_) {
            // The file is named by the conference, known once the call is up. The recorder
            // asks for the name on an engine thread at its first block; it gets this copy,
            // since that thread must not wait for the engine guard, which the GUI thread
            // holds while it stops the engine and waits for the engine's threads.
            callOver_ = false;
            auto fresh = std::make_shared<recording::ConversationRecorder>(
                [guid = engine.conferenceGuid()] { return guid; });
            std::lock_guard<std::mutex> hold(blocks_->lock);
            blocks_->recorder = std::move(fresh);
        }
        engine.setRecording(on);
    });
}

bool RecordingParts::openProgramSettings() {
    return window_.openProgramSettings();
}

audio::WaveformDisplay* RecordingParts::waveformDisplay() {
    return window_.signalDisplay();
}

void RecordingParts::endOfCall() {
    std::string guid;
    window_.withEngine([&](engine::Engine& engine) { guid = engine.conferenceGuid(); });
    if (const auto current = recorder(); current && !callOver_ && group_) {
        group_->saveRecording(guid, *current);
    }
    callOver_ = true;
    if (group_) {
        group_->callEnded();
    }
}

}  // namespace ostrel::app
