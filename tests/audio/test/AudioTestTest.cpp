// The audio test's two threads over the file backend: captured blocks reach the sink, only
// blocks the dialog asks for are played, and closing ends both threads and both devices.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/FileBackend.h"
#include "audio/NoAudioBackend.h"
#include "audio/test/AudioTest.h"
#include "tests/audio/WavFiles.h"

#include <sndfile.h>

using namespace ostrel::audio;
using namespace ostrel::audio::testing;

namespace {

constexpr int kBlocks = 10;

// Blocks as the record thread hands them over.
class Collector {
public:
    AudioTest::BlockSink sink() {
        return [this](const AudioTest::Block& block) {
            std::lock_guard lock(mutex_);
            blocks_.push_back(block);
        };
    }
    // Waits until at least `count` blocks came; returns them.
    std::vector<AudioTest::Block> waitFor(size_t count, int timeoutMs = 10000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard lock(mutex_);
                if (blocks_.size() >= count) {
                    return blocks_;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard lock(mutex_);
        return blocks_;
    }

private:
    std::mutex mutex_;  // guards blocks_
    std::vector<AudioTest::Block> blocks_;
};

class AudioTestTest : public ::testing::Test {
protected:
    void SetUp() override {
        spoken_ = pattern(kBlocks * AudioTest::kBlockSamples, 7);
        ASSERT_TRUE(
            writeWav(folder_.file("in.wav"), spoken_, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    }

    std::vector<int16_t> block(int index) const {
        const auto first = spoken_.begin() + index * AudioTest::kBlockSamples;
        return {first, first + AudioTest::kBlockSamples};
    }

    ScratchFolder folder_;
    std::vector<int16_t> spoken_;
};

}  // namespace

TEST_F(AudioTestTest, BlocksArriveAndAreNotPlayedUnlessAsked) {
    const std::string played = folder_.file("out.wav");
    {
        FileBackend backend(folder_.file("in.wav"), played);
        Collector collector;
        AudioTest test(collector.sink(), backend, {});
        ASSERT_TRUE(test.start());
        EXPECT_TRUE(test.captureOpen());
        EXPECT_TRUE(test.playbackOpen());
        const auto blocks = collector.waitFor(3);
        ASSERT_GE(blocks.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(std::vector<int16_t>(blocks[i].begin(), blocks[i].end()), block(i)) << i;
            EXPECT_FALSE(test.loopBack(blocks[i], false));
        }
        test.close();
        EXPECT_EQ(test.blocksWritten(), 0u);
    }
    EXPECT_TRUE(readWav(played).samples.empty());
}

TEST_F(AudioTestTest, TickedBlocksArePlayedInOrder) {
    const std::string played = folder_.file("out.wav");
    {
        FileBackend backend(folder_.file("in.wav"), played);
        Collector collector;
        AudioTest test(collector.sink(), backend, {});
        ASSERT_TRUE(test.start());
        size_t handled = 0;
        // The dialog writes each block as it comes; the file backend plays at the real pace.
        while (handled < 4) {
            const auto blocks = collector.waitFor(handled + 1);
            ASSERT_GT(blocks.size(), handled);
            EXPECT_TRUE(test.loopBack(blocks[handled], true));
            ++handled;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        test.close();
        EXPECT_EQ(test.blocksWritten(), 4u);
    }
    const auto samples = readWav(played).samples;
    ASSERT_GE(samples.size(), 2u * AudioTest::kBlockSamples);
    EXPECT_EQ(std::vector<int16_t>(samples.begin(), samples.begin() + AudioTest::kBlockSamples),
              block(0));
    EXPECT_EQ(std::vector<int16_t>(samples.begin() + AudioTest::kBlockSamples,
                                   samples.begin() + 2 * AudioTest::kBlockSamples),
              block(1));
}

TEST_F(AudioTestTest, ClosingWhileBlocksArriveEndsBothThreadsAndDevices) {
    FileBackend backend(folder_.file("in.wav"), folder_.file("out.wav"));
    Collector collector;
    AudioTest test(collector.sink(), backend, {});
    ASSERT_TRUE(test.start());
    const auto blocks = collector.waitFor(2);
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_TRUE(test.loopBack(blocks[0], true));
    EXPECT_TRUE(test.threadsRunning());
    test.close();
    EXPECT_FALSE(test.threadsRunning());
    EXPECT_FALSE(test.captureOpen());
    EXPECT_FALSE(test.playbackOpen());
    EXPECT_TRUE(test.isClosing());
    EXPECT_FALSE(test.loopBack(blocks[1], true));
    const uint32_t captured = test.blocksCaptured();
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_EQ(test.blocksCaptured(), captured);
    test.close();  // a second close does nothing
}

TEST(AudioTestWithoutDevices, NoBlocksAndTheRingTakesFour) {
    NoAudioBackend backend;
    Collector collector;
    AudioTest test(collector.sink(), backend, {});
    ASSERT_TRUE(test.start());
    EXPECT_FALSE(test.captureOpen());
    EXPECT_FALSE(test.playbackOpen());
    AudioTest::Block silence{};
    // With no device the ring still takes four blocks and then drops the rest.
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(test.loopBack(silence, true)) << i;
    }
    EXPECT_FALSE(test.loopBack(silence, true));
    EXPECT_TRUE(collector.waitFor(1, 400).empty());
    test.close();
    EXPECT_FALSE(test.threadsRunning());
}
