// Audio devices: the "Test your Audio Settings" dialog. GUI thread only. It draws what the
// microphone picks up, plays it back when "Play what I speak" is ticked, and carries copies
// of the main window's three volume sliders, which it drives through the window's links.
#pragma once

#include <QDialog>

#include "audio/test/AudioTest.h"

class QAbstractSlider;
class QCheckBox;
class QSlider;

namespace ostrel::audio {

class VolumeControl;
class VolumeSliderLink;
class WaveformDisplay;

// What the dialog needs from the main window: for each line its slider (the position it
// shows, loudest at 0) and the link that moves it and sets the volume; the microphone's
// control too, since the test reads that level from the mixer. Any may be null when the
// window has no such line; the dialog's slider is then disabled. All outlive the dialog.
struct MainWindowVolume {
    QAbstractSlider* slider = nullptr;
    VolumeSliderLink* link = nullptr;
    VolumeControl* control = nullptr;
};

struct MainWindowVolumes {
    MainWindowVolume master;      // slider 1048
    MainWindowVolume wave;        // slider 1046
    MainWindowVolume microphone;  // slider 1047
};

class CMicTestDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Test your Audio Settings";

    // Sets the sliders from the main window and starts the test's threads. `backend` null:
    // the process's wave backend.
    explicit CMicTestDlg(MainWindowVolumes main, QWidget* parent = nullptr,
                         WaveBackend* backend = nullptr);
    // Stops the threads and closes the devices first, if closing has not done it already.
    ~CMicTestDlg() override;

    // Finish, Cancel and the close box all end here: threads stopped, capture closed,
    // playback closed, then the dialog ends.
    void done(int result) override;

    WaveformDisplay* waveform() const { return waveform_; }
    QCheckBox* playBackBox() const { return playBack_; }
    QSlider* masterSlider() const { return master_; }
    QSlider* waveSlider() const { return wave_; }
    QSlider* microphoneSlider() const { return microphone_; }
    const AudioTest& test() const { return *test_; }
    uint32_t blocksShown() const { return shown_; }

private:
    void showBlock(const AudioTest::Block& block);
    QSlider* makeSlider(const MainWindowVolume& line, int position);
    void connectRelease(QSlider* slider, const MainWindowVolume& line);

    MainWindowVolumes main_;
    WaveformDisplay* waveform_ = nullptr;
    QCheckBox* playBack_ = nullptr;
    QSlider* master_ = nullptr;
    QSlider* wave_ = nullptr;
    QSlider* microphone_ = nullptr;
    uint32_t shown_ = 0;
    std::unique_ptr<AudioTest> test_;
};

}  // namespace ostrel::audio
