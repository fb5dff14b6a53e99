#include "recording/ui/RecordPlayGroup.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/settings/Settings.h"
#include "audio/widgets/WaveformDisplay.h"
#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/QtTestApp.h"

namespace ostrel::recording::ui {
namespace {

using audio::testing::ScratchFolder;

struct FakeHost final : RecordPlayHost {
    std::vector<bool> engineSwitch;
    int settingsOpened = 0;
    bool settingsAnswer = false;
    std::vector<QString> messages;
    QString chosenFile;
    QString startFolder;
    int clicks = 0;
    audio::WaveformDisplay display;

    void setEngineRecording(bool on) override { engineSwitch.push_back(on); }
    bool openProgramSettings() override {
        ++settingsOpened;
        return settingsAnswer;
    }
    audio::WaveformDisplay* waveformDisplay() override { return &display; }
    void showMessage(const QString& text) override { messages.push_back(text); }
    QString chooseRecordingFile(const QString& folder) override {
        startFolder = folder;
        return chosenFile;
    }
    void playStartClick() override { ++clicks; }
};

class RecordPlayGroupTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("OSTREL_CONFIG_DIR", config.path().c_str(), 1); }
    void TearDown() override { unsetenv("OSTREL_CONFIG_DIR"); }

    std::string tones(int blocks) {
        const std::string path = scratch.file("tones" + std::to_string(blocks) + ".vrec");
        EXPECT_TRUE(testing::writeToneRecording(path, blocks));
        return path;
    }
    void load(const std::string& path) { group.loadRecording(QString::fromStdString(path)); }
    // The buffer is heard and the player's report reaches the window.
    void hearOne() {
        const int before = group.slider()->value();
        ASSERT_TRUE(backend.completeNext());
        ASSERT_TRUE(test::processEventsUntil(
            [&] { return group.slider()->value() != before || !group.player().isPlaying(); }));
    }

    test::QtAppFirst app;
    ScratchFolder config;
    ScratchFolder scratch;
    testing::ManualPlaybackBackend backend;
    FakeHost host;
    RecordPlayGroup group{host, backend};
};

TEST_F(RecordPlayGroupTest, StartsWithOnlyOpenFileUsable) {
    EXPECT_EQ(group.title(), "Record/Play");
    EXPECT_TRUE(group.openButton()->isEnabled());
    EXPECT_FALSE(group.recButton()->isEnabled());
    EXPECT_FALSE(group.playButton()->isEnabled());
    EXPECT_FALSE(group.stopButton()->isEnabled());
    EXPECT_FALSE(group.slider()->isEnabled());
    EXPECT_TRUE(group.pauseButton()->isHidden());
    EXPECT_EQ(group.recButton()->toolTip(), "Start/stop recording while talking to your buddy");
    EXPECT_EQ(group.playButton()->toolTip(), "Play a recorded file after loading it.");
    EXPECT_EQ(group.stopButton()->toolTip(), "Stop playing");
    EXPECT_EQ(group.openButton()->toolTip(), "Load a recorded file for playing.");
    EXPECT_EQ(group.pauseButton()->toolTip(), "Pause playing");
    EXPECT_EQ(group.pauseButton()->text(), " | | ");
}

TEST_F(RecordPlayGroupTest, OpenFileStartsInTheRecordingsFolderAndChecksTheFile) {
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, scratch.path()));
    host.chosenFile = "";
    group.openButton()->click();
    EXPECT_EQ(host.startFolder, QString::fromStdString(scratch.path()));
    EXPECT_TRUE(host.messages.empty());

    host.chosenFile = QString::fromStdString(scratch.file("missing.vrec"));
    group.openButton()->click();
    ASSERT_TRUE(testing::writeBytes(scratch.file("odd.vrec"), 331));
    host.chosenFile = QString::fromStdString(scratch.file("odd.vrec"));
    group.openButton()->click();
    EXPECT_EQ(host.messages,
              (std::vector<QString>{"Failed to open the file", "The file is corrupted."}));
    EXPECT_FALSE(group.playButton()->isEnabled());

    host.chosenFile = QString::fromStdString(tones(3));
    group.openButton()->click();
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_TRUE(group.playButton()->isEnabled());
    EXPECT_TRUE(group.slider()->isEnabled());
}

TEST_F(RecordPlayGroupTest, PlaybackMovesTheSliderAndStopsAt100) {
    load(tones(10));
    group.playButton()->click();
    EXPECT_TRUE(group.playButton()->isHidden());
    EXPECT_FALSE(group.pauseButton()->isHidden());
    EXPECT_FALSE(group.openButton()->isEnabled());
    EXPECT_TRUE(group.stopButton()->isEnabled());
    EXPECT_EQ(host.display.statusText(), "Playing");
    EXPECT_EQ(host.display.statusColour(), QColor(Qt::blue));
    ASSERT_TRUE(backend.waitQueuedTotal(4));

    hearOne();
    EXPECT_EQ(group.slider()->value(), 50);
    EXPECT_TRUE(test::processEventsUntil([&] { return host.clicks == 1; }));
    for (int i = 0; i < 5; ++i) {
        hearOne();
    }
    // All queued: the slider is at the end while the last four blocks are heard.
    EXPECT_EQ(group.slider()->value(), 100);
    EXPECT_TRUE(group.player().isPlaying());
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(backend.completeNext());
    }
    ASSERT_TRUE(test::processEventsUntil([&] { return !group.player().isPlaying(); }));
    EXPECT_EQ(group.slider()->value(), 100);
    EXPECT_TRUE(group.playButton()->isEnabled());
    EXPECT_FALSE(group.playButton()->isHidden());
    EXPECT_TRUE(group.pauseButton()->isHidden());
    EXPECT_TRUE(group.openButton()->isEnabled());
    EXPECT_EQ(host.display.statusText(), "");
    EXPECT_EQ(host.clicks, 1);

    // Again from the start.
    group.playButton()->click();
    EXPECT_EQ(group.slider()->value(), 0);
    ASSERT_TRUE(backend.waitQueuedTotal(14));
    EXPECT_EQ(backend.queuedBlocks()[10], 0);
    group.stopButton()->click();
    EXPECT_FALSE(group.player().isPlaying());
}

TEST_F(RecordPlayGroupTest, PauseKeepsThePlaceAndShowsPaused) {
    load(tones(10));
    group.playButton()->click();
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    group.pauseButton()->click();
    EXPECT_FALSE(group.player().isPlaying());
    EXPECT_EQ(host.display.statusText(), "Paused");
    EXPECT_FALSE(group.playButton()->isHidden());
    EXPECT_EQ(group.player().cursor().offset(), 4u * kCodedBlockBytes);
    group.playButton()->click();
    ASSERT_TRUE(backend.waitQueuedTotal(8));
    EXPECT_EQ(backend.queuedBlocks()[4], 4);
    group.stopButton()->click();
    EXPECT_EQ(group.player().cursor().offset(), 0u);
}

TEST_F(RecordPlayGroupTest, ReleasingTheSliderSeeks) {
    load(tones(10));
    group.slider()->setValue(99);
    emit group.slider()->sliderReleased();
    EXPECT_EQ(group.player().cursor().offset(), 9u * kCodedBlockBytes);
    group.slider()->setValue(0);
    emit group.slider()->sliderReleased();
    EXPECT_EQ(group.player().cursor().offset(), 0u);
}

TEST_F(RecordPlayGroupTest, RecWithoutAFolderAsksForSettingsAndGivesUpOnCancel) {
    group.callBecameActive();
    EXPECT_TRUE(group.recButton()->isEnabled());
    EXPECT_FALSE(group.openButton()->isEnabled());
    host.settingsAnswer = false;
    group.recButton()->click();
    EXPECT_EQ(host.messages, std::vector<QString>{QString::fromLatin1(kChooseFolderText)});
    EXPECT_EQ(host.settingsOpened, 1);
    EXPECT_FALSE(group.recButton()->isChecked());
    EXPECT_TRUE(host.engineSwitch.empty());
    EXPECT_EQ(host.display.statusText(), "");

    host.settingsAnswer = true;
    group.recButton()->click();
    EXPECT_TRUE(group.recButton()->isChecked());
    EXPECT_EQ(host.engineSwitch, std::vector<bool>{true});
    EXPECT_EQ(host.display.statusText(), "Recording");
}

TEST_F(RecordPlayGroupTest, RecSwitchesTheEngineAndTheCallEndReleasesIt) {
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, scratch.path()));
    group.callBecameActive();
    group.recButton()->click();
    EXPECT_TRUE(group.isRecording());
    EXPECT_EQ(host.display.statusText(), "Recording");
    EXPECT_EQ(host.display.statusColour(), QColor(Qt::red));
    EXPECT_EQ(host.settingsOpened, 0);
    group.recButton()->click();
    EXPECT_EQ(host.display.statusText(), "");
    group.recButton()->click();
    EXPECT_EQ(host.engineSwitch, (std::vector<bool>{true, false, true}));

    group.callEnded();
    EXPECT_FALSE(group.isRecording());
    EXPECT_FALSE(group.recButton()->isEnabled());
    EXPECT_TRUE(group.openButton()->isEnabled());
    EXPECT_EQ(host.display.statusText(), "");
}

TEST_F(RecordPlayGroupTest, ACallClosesThePlayerAndFreesTheFile) {
    const std::string path = tones(10);
    load(path);
    group.playButton()->click();
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    group.callBecameActive();
    EXPECT_FALSE(group.player().isPlaying());
    EXPECT_FALSE(group.playButton()->isEnabled());
    EXPECT_FALSE(group.openButton()->isEnabled());
    EXPECT_TRUE(group.recButton()->isEnabled());
    RecordFileCursor other;
    EXPECT_TRUE(other.open(path, kCodedBlockBytes));
}

TEST_F(RecordPlayGroupTest, FailedSaveAtCallEndTellsTheUser) {
    ScratchFolder temp;
    ConversationRecorder recorder([] { return std::string("c"); }, temp.path());
    const auto pcm = testing::toneBlock(1);
    ASSERT_TRUE(recorder.addBlock(pcm.data(), kPcmBlockBytes, 0));
    EXPECT_EQ(group.saveRecording("c", recorder), CallEndSaveResult::Failed);
    EXPECT_EQ(host.messages, std::vector<QString>{QString::fromLatin1(kSaveFailedText.data(),
                                                                      kSaveFailedText.size())});
    EXPECT_EQ(host.settingsOpened, 1);

    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, scratch.path()));
    std::string saved;
    EXPECT_EQ(group.saveRecording("c", recorder, &saved), CallEndSaveResult::Saved);
    EXPECT_EQ(std::filesystem::file_size(saved), kCodedBlockBytes);
}

}  // namespace
}  // namespace ostrel::recording::ui
