// The main window's "Record/Play" group: the Rec button that switches the call's recording,
// and the player's Open File, Play, Pause and Stop buttons with the position slider. GUI
// thread only; the player's threads reach it through queued calls.
#pragma once

#include <QGroupBox>

#include <atomic>
#include <memory>
#include <string>

#include "audio/WaveBackend.h"
#include "recording/CallEndSave.h"
#include "recording/ConversationRecorder.h"
#include "recording/RecordingPlayer.h"
#include "recording/ui/RecordPlayHost.h"

class QPushButton;
class QSlider;

namespace ostrel::recording::ui {

inline constexpr const char* kChooseFolderText =
    "Please select a recordings directory. Also confirm the drive has enough amout of free "
    "space.(Atleast 100MB)\n The Settings dialog will be opened for you now.";

class RecordPlayGroup : public QGroupBox, private PlayerEvents {
    Q_OBJECT
public:
    // The player's device opens on `backend`.
    RecordPlayGroup(RecordPlayHost& host, audio::WaveBackend& backend, QWidget* parent = nullptr);
    explicit RecordPlayGroup(RecordPlayHost& host, QWidget* parent = nullptr);
    ~RecordPlayGroup() override;

    // A call became active: the player is closed, Rec enabled, Open File disabled.
    void callBecameActive();
    // The call ended (after its recording was saved): Rec released and disabled, the player's
    // controls as after a stop.
    void callEnded();
    // A call is starting: playback stopped, the file closed, the controls reset.
    void closePlayer();
    // Whether Rec is pressed (the call report says whether the call is recorded).
    bool isRecording() const;
    // The end-of-call save with its message and the settings dialog through the host.
    CallEndSaveResult saveRecording(const std::string& conferenceGuid,
                                    ConversationRecorder& recorder,
                                    std::string* savedPath = nullptr);

    // Opens a recording as the Open File button does after its dialog.
    void loadRecording(const QString& path);

    void startPlayback();
    void pausePlayback();
    void stopPlayback();
    // Playback progress in per cent, on the slider.
    void showProgress(int percent);
    // The last block was heard: stopped, with the slider at 100.
    void playbackFinished();

    QPushButton* recButton() const { return rec_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* openButton() const { return open_; }
    QSlider* slider() const { return slider_; }
    const RecordingPlayer& player() const { return *player_; }

private:
    void createControls();
    void openRecording();
    void recToggled(bool on);
    void seekToSlider();
    void resetControls();
    void setStatus(const QString& text, bool red);

    // From the player's threads.
    void progress(unsigned percent) override;
    void firstBlockPlayed() override;
    void blockPlayed(std::span<const int16_t> samples) override;
    void finished() override;

    RecordPlayHost& host_;
    QPushButton* rec_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* open_ = nullptr;
    QSlider* slider_ = nullptr;
    bool callConnected_ = false;
    // Tags the events of one playback run, so that a late one from an ended run is dropped.
    std::atomic<unsigned> run_{0};
    std::unique_ptr<RecordingPlayer> player_;
};

}  // namespace ostrel::recording::ui
