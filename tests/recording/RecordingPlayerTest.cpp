#include "recording/RecordingPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/FileBackend.h"
#include "recording/PlayRecording.h"
#include "recording/RecordingFormat.h"
#include "tests/audio/WavFiles.h"
#include "tests/recording/RecordingTestFiles.h"

namespace ostrel::recording {
namespace {

using audio::testing::ScratchFolder;
using testing::ManualPlaybackBackend;

class Events final : public PlayerEvents {
public:
    void progress(unsigned percent) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
        changed_.notify_all();
    }
    void firstBlockPlayed() override {
        std::lock_guard lock(mutex_);
        ++firstBlocks_;
    }
    void finished() override {
        std::lock_guard lock(mutex_);
        ++finished_;
        changed_.notify_all();
    }
    void blockPlayed(std::span<const int16_t> samples) override {
        std::lock_guard lock(mutex_);
        played_.push_back(testing::identifyBlock(samples.data(), samples.size()));
        changed_.notify_all();
    }

    bool waitProgressCount(size_t count, int timeoutMs = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return progress_.size() >= count; });
    }
    bool waitProgress(unsigned value, int timeoutMs = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return !progress_.empty() && progress_.back() == value; });
    }
    std::vector<unsigned> progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    std::vector<int> played() {
        std::lock_guard lock(mutex_);
        return played_;
    }
    bool waitFinished(int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return finished_ > 0; });
    }
    int finishedCount() {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    int firstBlocks() {
        std::lock_guard lock(mutex_);
        return firstBlocks_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<unsigned> progress_;
    std::vector<int> played_;
    int firstBlocks_ = 0;
    int finished_ = 0;
};

class PlayerTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    ManualPlaybackBackend backend;
    Events events;
    RecordingPlayer player{backend, events};

    void openTones(int blocks) {
        const std::string path = scratch.file("tones.vrec");
        ASSERT_TRUE(testing::writeToneRecording(path, blocks));
        ASSERT_EQ(player.open(path), RecordingPlayer::OpenResult::Opened);
    }
    // One buffer heard; waits for the refill's progress report.
    void completeAndWait() {
        const size_t before = events.progress().size();
        ASSERT_TRUE(backend.completeNext());
        ASSERT_TRUE(events.waitProgressCount(before + 1));
    }
};

TEST_F(PlayerTest, OneBlockFilePlaysOnceAndReports100) {
    openTones(1);
    EXPECT_TRUE(player.start());
    ASSERT_TRUE(backend.waitQueuedTotal(1));
    completeAndWait();
    EXPECT_EQ(events.progress(), std::vector<unsigned>{100});
    EXPECT_EQ(backend.queuedBlocks(), std::vector<int>{0});
    EXPECT_EQ(events.firstBlocks(), 1);
    EXPECT_TRUE(events.waitFinished());
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.cursor().offset(), 0u);
}

TEST_F(PlayerTest, TenBlocksQueueFourAheadAndReportFromFiftyToHundred) {
    openTones(10);
    player.start();
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    // The first fill stops at four: the fifth write is refused and stays under the cursor.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(backend.queuedNow(), 4u);
    EXPECT_TRUE(events.progress().empty());
    EXPECT_EQ(player.cursor().offset(), 4u * kCodedBlockBytes);
    for (int i = 0; i < 6; ++i) {
        completeAndWait();
    }
    EXPECT_EQ(events.progress(), (std::vector<unsigned>{50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(backend.queuedBlocks(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // The last four are still to be heard; the end comes with the last of them.
    EXPECT_EQ(events.finishedCount(), 0);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(backend.completeNext());
    }
    ASSERT_TRUE(events.waitFinished());
    EXPECT_EQ(events.played(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    player.stop();
}

TEST_F(PlayerTest, PlayAfterTheEndStartsOver) {
    openTones(2);
    player.start();
    ASSERT_TRUE(backend.waitQueuedTotal(2));
    completeAndWait();
    EXPECT_EQ(events.progress().back(), 100u);
    player.pause();
    EXPECT_EQ(player.cursor().offset(), 2u * kCodedBlockBytes);
    EXPECT_TRUE(player.start());
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    EXPECT_EQ(backend.queuedBlocks(), (std::vector<int>{0, 1, 0, 1}));
    player.stop();
}

TEST_F(PlayerTest, PauseThenPlaySkipsTheBlocksThatWereQueued) {
    openTones(10);
    player.start();
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    completeAndWait();  // block 4 joins the queue
    player.pause();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.cursor().offset(), 5u * kCodedBlockBytes);
    EXPECT_FALSE(player.start());
    ASSERT_TRUE(backend.waitQueuedTotal(9));
    EXPECT_EQ(backend.queuedBlocks(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(backend.opens(), 2);
    player.stop();
}

TEST_F(PlayerTest, SliderPositionsSeekWholeBlocks) {
    openTones(10);
    player.seekToPercent(99);
    EXPECT_EQ(player.cursor().offset(), 9u * kCodedBlockBytes);
    player.seekToPercent(100);
    EXPECT_EQ(player.cursor().offset(), 9u * kCodedBlockBytes);
    player.seekToPercent(35);
    EXPECT_EQ(player.cursor().offset(), 3u * kCodedBlockBytes);
    player.seekToPercent(0);
    EXPECT_EQ(player.cursor().offset(), 0u);
}

TEST_F(PlayerTest, SeekDuringPlaybackTakesEffectAtTheNextRefill) {
    openTones(10);
    player.start();
    ASSERT_TRUE(backend.waitQueuedTotal(4));
    player.seekToPercent(90);
    completeAndWait();
    completeAndWait();
    // Block 4 may have been decoded before the seek and still go out; 5 to 8 never do.
    const std::vector<int> queued = backend.queuedBlocks();
    EXPECT_EQ(queued.back(), 9);
    for (int b : queued) {
        EXPECT_TRUE(b <= 4 || b == 9) << b;
    }
    EXPECT_EQ(events.progress().back(), 100u);
    player.stop();
}

TEST_F(PlayerTest, BrokenFilesAreReportedAndNeverPlay) {
    ASSERT_TRUE(testing::writeBytes(scratch.file("short.vrec"), 331));
    EXPECT_EQ(player.open(scratch.file("short.vrec")), RecordingPlayer::OpenResult::Corrupted);
    EXPECT_FALSE(player.isPlayable());
    player.start();
    EXPECT_FALSE(player.isPlaying());
    ASSERT_TRUE(testing::writeBytes(scratch.file("tiny.vrec"), 329));
    EXPECT_EQ(player.open(scratch.file("tiny.vrec")), RecordingPlayer::OpenResult::Corrupted);
    ASSERT_TRUE(testing::writeBytes(scratch.file("empty.vrec"), 0));
    EXPECT_EQ(player.open(scratch.file("empty.vrec")), RecordingPlayer::OpenResult::Failed);
    EXPECT_EQ(backend.opens(), 0);
}

TEST_F(PlayerTest, OpeningAnotherFileReleasesTheFirst) {
    openTones(3);
    const std::string first = player.cursor().path();
    RecordFileCursor other;
    EXPECT_FALSE(other.open(first, kCodedBlockBytes));
    ASSERT_TRUE(testing::writeToneRecording(scratch.file("b.vrec"), 2));
    ASSERT_EQ(player.open(scratch.file("b.vrec")), RecordingPlayer::OpenResult::Opened);
    EXPECT_TRUE(other.open(first, kCodedBlockBytes));
}

TEST_F(PlayerTest, DeviceThatDoesNotOpenHangsSilentUntilStopped) {
    backend.openResult = audio::MMSYSERR_ALLOCATED;
    openTones(10);
    player.start();
    // The device's ring takes four blocks without a stream, then refuses.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player.cursor().offset() < 4u * kCodedBlockBytes &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(player.cursor().offset(), 4u * kCodedBlockBytes);
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_TRUE(events.progress().empty());
    EXPECT_EQ(events.firstBlocks(), 0);
}

// Through the file backend at the real pace: what reaches the "speaker" is the whole
// recording, to its last block.
TEST(PlayWithoutWindows, PlayedSoundHoldsEveryBlockInOrder) {
    ScratchFolder scratch;
    const std::string recording = scratch.file("tones.vrec");
    const std::string speaker = scratch.file("speaker.wav");
    ASSERT_TRUE(testing::writeToneRecording(recording, 8));
    audio::FileBackend backend("", speaker);
    const PlayOutcome outcome = playRecording(recording, backend);
    EXPECT_EQ(outcome.result, PlayOutcome::Played);
    EXPECT_EQ(outcome.blocksHeard, 8u);
    const auto played = audio::testing::readWav(speaker);
    ASSERT_EQ(played.sampleRate, 8000);
    ASSERT_EQ(played.samples.size(), 8u * kBlockSamples);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(testing::identifyBlock(played.samples.data() + i * kBlockSamples, kBlockSamples),
                  i)
            << "block " << i;
    }
}

TEST(PlayWithoutWindows, BadFilesAndSilentDevicesAreReported) {
    ScratchFolder scratch;
    ManualPlaybackBackend backend;
    EXPECT_EQ(playRecording(scratch.file("none.vrec"), backend).result, PlayOutcome::OpenFailed);
    EXPECT_EQ(playOutcomeText(PlayOutcome::OpenFailed), "Failed to open the file");
    ASSERT_TRUE(testing::writeBytes(scratch.file("odd.vrec"), 331));
    EXPECT_EQ(playRecording(scratch.file("odd.vrec"), backend).result, PlayOutcome::Corrupted);
    EXPECT_EQ(playOutcomeText(PlayOutcome::Corrupted), "The file is corrupted.");
    // Buffers that are queued but never finish.
    ASSERT_TRUE(testing::writeToneRecording(scratch.file("tones.vrec"), 3));
    const PlayOutcome stalled = playRecording(scratch.file("tones.vrec"), backend, 300);
    EXPECT_EQ(stalled.result, PlayOutcome::Stalled);
    EXPECT_EQ(stalled.blocksHeard, 0u);
    EXPECT_EQ(backend.queuedBlocks(), (std::vector<int>{0, 1, 2}));
}

}  // namespace
}  // namespace ostrel::recording
