// The audio test dialog on the offscreen platform, with the file backend for the devices and
// a memory mixer behind the main window's three sliders.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QSlider>

#include <sndfile.h>

#include "audio/FileBackend.h"
#include "audio/mixer/VolumeControl.h"
#include "audio/test/ui/CMicTestDlg.h"
#include "audio/widgets/VolumeSliderLink.h"
#include "audio/widgets/WaveformDisplay.h"
#include "tests/audio/WavFiles.h"
#include "tests/audio/mixer/MixerFixtures.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel;
using namespace ostrel::audio;
using namespace ostrel::audio::testing;

namespace {

// The main window's sliders over one memory card: master 40000, PCM 50000, capture 20000.
class MainWindowSliders {
public:
    MainWindowSliders()
        : card_(audio::test::laptopCard()),
          masterControl_(VolumeKind::MasterOutput, card_->open()),
          waveControl_(VolumeKind::WaveOutput, card_->open()),
          micControl_(VolumeKind::MicrophoneLevel, card_->open()),
          masterLink_(master_, masterControl_),
          waveLink_(wave_, waveControl_),
          micLink_(mic_, micControl_) {}

    MainWindowVolumes volumes() {
        return {{&master_, &masterLink_, &masterControl_},
                {&wave_, &waveLink_, &waveControl_},
                {&mic_, &micLink_, &micControl_}};
    }

    MemoryMixer& card() { return *card_; }
    QSlider master_{Qt::Vertical};
    QSlider wave_{Qt::Vertical};
    QSlider mic_{Qt::Vertical};

private:
    std::shared_ptr<MemoryMixer> card_;
    VolumeControl masterControl_;
    VolumeControl waveControl_;
    VolumeControl micControl_;
    VolumeSliderLink masterLink_;
    VolumeSliderLink waveLink_;
    VolumeSliderLink micLink_;
};

void release(QSlider* slider, int position) {
    slider->setSliderDown(true);
    slider->setValue(position);
    slider->setSliderDown(false);
}

class CMicTestDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeWav(folder_.file("in.wav"), pattern(8000 * 4, 3), 8000, 1,
                             SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        backend_ = std::make_unique<FileBackend>(folder_.file("in.wav"), folder_.file("out.wav"));
    }

    ostrel::test::QtAppFirst app_;
    ScratchFolder folder_;
    std::unique_ptr<FileBackend> backend_;
    MainWindowSliders main_;
};

}  // namespace

TEST_F(CMicTestDlgTest, SlidersStartFromTheMainWindowAndDriveIt) {
    CMicTestDlg dialog(main_.volumes(), nullptr, backend_.get());
    EXPECT_EQ(dialog.windowTitle(), "Test your Audio Settings");
    EXPECT_EQ(main_.wave_.value(), 255 - 50000 / 256);
    EXPECT_EQ(dialog.masterSlider()->value(), 40000 / 256);
    EXPECT_EQ(dialog.waveSlider()->value(), 50000 / 256);
    EXPECT_EQ(dialog.microphoneSlider()->value(), 20000 / 256);

    release(dialog.waveSlider(), 200);
    EXPECT_EQ(main_.wave_.value(), 55);
    EXPECT_EQ(main_.card().volume("PCM", MixerDirection::Playback), 51200);

    release(dialog.masterSlider(), 255);
    EXPECT_EQ(main_.master_.value(), 0);
    EXPECT_EQ(main_.card().volume("Master", MixerDirection::Playback), 65280);

    // The microphone follows the same scale: the main slider shows 255 - p.
    release(dialog.microphoneSlider(), 100);
    EXPECT_EQ(main_.mic_.value(), 155);
    EXPECT_EQ(main_.card().volume("Capture", MixerDirection::Capture), 25600);
    dialog.reject();
}

TEST_F(CMicTestDlgTest, WithoutMainLinesTheSlidersAreOff) {
    CMicTestDlg dialog(MainWindowVolumes{}, nullptr, backend_.get());
    EXPECT_FALSE(dialog.masterSlider()->isEnabled());
    EXPECT_FALSE(dialog.waveSlider()->isEnabled());
    EXPECT_FALSE(dialog.microphoneSlider()->isEnabled());
    release(dialog.waveSlider(), 200);  // nothing to drive, nothing breaks
    dialog.reject();
}

TEST_F(CMicTestDlgTest, CapturedBlocksAreDrawnAndPlayedOnlyWhenTicked) {
    auto dialog = std::make_unique<CMicTestDlg>(main_.volumes(), nullptr, backend_.get());
    dialog->resize(640, 300);
    dialog->show();
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] { return dialog->blocksShown() >= 2; }, 5000));
    EXPECT_EQ(dialog->test().blocksWritten(), 0u);
    const auto trace = dialog->waveform()->trace(1);
    ASSERT_FALSE(trace.empty());
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(),
                            [&](const QPoint& p) { return p.y() != trace[0].y(); }));

    dialog->playBackBox()->setChecked(true);
    const uint32_t shown = dialog->blocksShown();
    ASSERT_TRUE(
        ostrel::test::processEventsUntil([&] { return dialog->blocksShown() >= shown + 2; }, 5000));
    EXPECT_GE(dialog->test().blocksWritten(), 2u);

    // Closed while blocks keep coming: both threads end, both devices close.
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->test().threadsRunning());
    EXPECT_FALSE(dialog->test().captureOpen());
    EXPECT_FALSE(dialog->test().playbackOpen());
    const uint32_t written = dialog->test().blocksWritten();
    ostrel::test::processEventsUntil([] { return false; }, 450);
    EXPECT_EQ(dialog->test().blocksWritten(), written);
    dialog.reset();
    ostrel::test::processEventsUntil([] { return false; }, 50);  // calls queued to it are dropped
}
