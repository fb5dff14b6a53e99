#include "recording/CallEndSave.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings/Settings.h"
#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"

namespace ostrel::recording {
namespace {

using audio::testing::ScratchFolder;

struct Messages final : CallEndSaveMessages {
    std::vector<std::string> shown;
    int settingsOpened = 0;
    void showSaveError(std::string_view text) override { shown.emplace_back(text); }
    void openProgramSettings() override { ++settingsOpened; }
};

// 2026-12-08 14:03:10 UTC.
constexpr std::time_t kCallEnd = 1796738590;

class CallEndSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("OSTREL_CONFIG_DIR", config.path().c_str(), 1);
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override { unsetenv("OSTREL_CONFIG_DIR"); }

    void recordOneBlock() {
        const auto pcm = testing::toneBlock(0);
        ASSERT_TRUE(recorder.addBlock(pcm.data(), kPcmBlockBytes, 0));
    }

    ScratchFolder config;
    ScratchFolder temp;
    ScratchFolder recordings;
    ConversationRecorder recorder{[] { return std::string("conf"); }, temp.path()};
    Messages messages;
};

TEST_F(CallEndSaveTest, FileNameUsesEnglishMonthAndTwoDigitFields) {
    EXPECT_EQ(recordingFileName(kCallEnd), "recording_Dec_08_26_14.03.10.vrec");
    EXPECT_EQ(recordingFileName(kCallEnd - 340 * 86400 - 14 * 3600),
              "recording_Jan_02_26_00.03.10.vrec");
}

TEST_F(CallEndSaveTest, SavesIntoTheRecordingsFolder) {
    ASSERT_TRUE(
        settings::write(settings::value::RecordingsDirectory, "  " + recordings.path() + " "));
    recordOneBlock();
    std::string saved;
    EXPECT_EQ(saveRecordingAtCallEnd("conf", recorder, messages, kCallEnd, &saved),
              CallEndSaveResult::Saved);
    EXPECT_EQ(saved, recordings.file("recording_Dec_08_26_14.03.10.vrec"));
    EXPECT_EQ(std::filesystem::file_size(saved), kCodedBlockBytes);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(CallEndSaveTest, NoConferenceOrNoBlockMeansNoFileAndNoMessage) {
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, recordings.path()));
    EXPECT_EQ(saveRecordingAtCallEnd("conf", recorder, messages, kCallEnd),
              CallEndSaveResult::NothingRecorded);
    recordOneBlock();
    EXPECT_EQ(saveRecordingAtCallEnd("", recorder, messages, kCallEnd),
              CallEndSaveResult::NothingRecorded);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(messages.settingsOpened, 0);
    EXPECT_TRUE(std::filesystem::is_empty(recordings.path()));
}

TEST_F(CallEndSaveTest, MissingOrBlankFolderShowsTheMessageAndKeepsTheRecording) {
    recordOneBlock();
    const std::string tempFile = recorder.temporaryPath();
    EXPECT_EQ(saveRecordingAtCallEnd("conf", recorder, messages, kCallEnd),
              CallEndSaveResult::Failed);
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, "   "));
    EXPECT_EQ(saveRecordingAtCallEnd("conf", recorder, messages, kCallEnd),
              CallEndSaveResult::Failed);
    EXPECT_EQ(messages.shown, std::vector<std::string>(2, std::string(kSaveFailedText)));
    EXPECT_EQ(messages.settingsOpened, 2);
    EXPECT_TRUE(std::filesystem::exists(tempFile));
}

TEST_F(CallEndSaveTest, TwoRecordingsInOneSecondFailTheSecond) {
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, recordings.path()));
    const std::string taken = recordings.file(recordingFileName(kCallEnd));
    ASSERT_TRUE(testing::writeBytes(taken, 330, 1));
    recordOneBlock();
    EXPECT_EQ(saveRecordingAtCallEnd("conf", recorder, messages, kCallEnd),
              CallEndSaveResult::Failed);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(testing::readBytes(taken), std::vector<uint8_t>(330, 1));
    EXPECT_TRUE(std::filesystem::exists(recorder.temporaryPath()));
}

TEST_F(CallEndSaveTest, BackslashesInTheStoredFolderAreFolderSeparators) {
    const std::string nested = recordings.file("calls");
    std::filesystem::create_directories(nested);
    std::string stored = recordings.path() + "\\calls";
    ASSERT_TRUE(settings::write(settings::value::RecordingsDirectory, stored));
    EXPECT_EQ(recordingsFolder(), nested);
}

}  // namespace
}  // namespace ostrel::recording
