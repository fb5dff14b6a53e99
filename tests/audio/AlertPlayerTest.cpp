#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AlertPlayer.h"
#include "audio/RealTimePacer.h"
#include "platform/Platform.h"
#include "tests/audio/WavFiles.h"

using namespace ostrel::audio;
using ostrel::audio::testing::pattern;
using ostrel::audio::testing::ScratchFolder;
using ostrel::audio::testing::writeWav;
using ostrel::platform::tickCount;

namespace {

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// One opened alert output: what it was given and how it ended.
struct OutputRecord {
    AudioFormat format;
    std::vector<int16_t> samples;
    int begins = 0;
    int ends = 0;
    bool drained = false;
};

// Outputs that play at the real pace, as a sound card would, and remember everything.
class FakeOutputs {
public:
    AlertPlayer::OutputFactory factory() {
        return [this](const AudioFormat& format) -> std::unique_ptr<SampleEndpoint> {
            std::lock_guard lock(mutex_);
            if (refuse) {
                return nullptr;
            }
            records_.push_back(std::make_shared<OutputRecord>());
            records_.back()->format = format;
            return std::make_unique<Output>(*this, records_.back());
        };
    }

    // A copy, so the test reads it without racing the player thread.
    OutputRecord record(size_t i) {
        std::lock_guard lock(mutex_);
        return *records_.at(i);
    }
    size_t count() {
        std::lock_guard lock(mutex_);
        return records_.size();
    }

    bool refuse = false;

private:
    class Output final : public SampleEndpoint {
    public:
        Output(FakeOutputs& owner, std::shared_ptr<OutputRecord> record)
            : owner_(owner),
              record_(std::move(record)),
              pacer_(record_->format.samplesPerSecond, RealTimePacer::Mode::Restart),
              frameBytes_(record_->format.blockAlignment) {}
        void begin() override {
            std::lock_guard lock(owner_.mutex_);
            ++record_->begins;
            pacer_.start();
        }
        void transfer(uint8_t* data, size_t bytes) override {
            {
                std::lock_guard lock(owner_.mutex_);
                const auto* s = reinterpret_cast<const int16_t*>(data);
                record_->samples.insert(record_->samples.end(), s, s + bytes / 2);
            }
            pacer_.advance(bytes / frameBytes_);
        }
        void end(bool drain) override {
            std::lock_guard lock(owner_.mutex_);
            ++record_->ends;
            record_->drained = drain;
        }

    private:
        FakeOutputs& owner_;
        std::shared_ptr<OutputRecord> record_;
        RealTimePacer pacer_;
        size_t frameBytes_;
    };

    std::mutex mutex_;  // guards records_ and their contents
    std::vector<std::shared_ptr<OutputRecord>> records_;
};

class AlertPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeWav(folder.file("click.wav"), click, 8000, 1, kWav16));
        ASSERT_TRUE(writeWav(folder.file("ring.wav"), ring, 8000, 1, kWav16));
        ASSERT_TRUE(writeWav(folder.file("stereo.wav"), stereo, 22050, 2, kWav16));
    }

    bool waitIdle(unsigned ms) {
        const uint32_t start = tickCount();
        while (player.isPlaying() && tickCount() - start < ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !player.isPlaying();
    }

    ScratchFolder folder;
    const std::vector<int16_t> click = pattern(2000, 1);  // 250 ms
    const std::vector<int16_t> ring = pattern(8000, 2);   // 1 s
    const std::vector<int16_t> stereo = pattern(2 * 2205, 3);
    FakeOutputs outputs;
    AlertPlayer player{outputs.factory(), folder.path()};
};

}  // namespace

TEST_F(AlertPlayerTest, SyncPlayReturnsWhenTheWholeSoundHasPlayed) {
    const uint32_t start = tickCount();
    ASSERT_TRUE(player.play("click.wav", AlertPlayer::kSync));
    EXPECT_GE(tickCount() - start, 240u);
    EXPECT_FALSE(player.isPlaying());
    ASSERT_EQ(outputs.count(), 1u);
    const OutputRecord r = outputs.record(0);
    EXPECT_EQ(r.format.samplesPerSecond, 8000u);
    EXPECT_EQ(r.format.channels, 1);
    EXPECT_EQ(r.samples, click);
    EXPECT_EQ(r.begins, 1);
    EXPECT_EQ(r.ends, 1);
    EXPECT_TRUE(r.drained);
}

TEST_F(AlertPlayerTest, AsyncPlayReturnsAtOnceAndPlaysOnItsOwn) {
    const uint32_t start = tickCount();
    ASSERT_TRUE(player.play(folder.file("stereo.wav"), AlertPlayer::kAsync));  // a full path
    EXPECT_LT(tickCount() - start, 60u);
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(waitIdle(2000));
    const OutputRecord r = outputs.record(0);
    EXPECT_EQ(r.format.samplesPerSecond, 22050u);
    EXPECT_EQ(r.format.channels, 2);
    EXPECT_EQ(r.samples, stereo);
}

TEST_F(AlertPlayerTest, NoStopGivesWayToAPlayingSound) {
    ASSERT_TRUE(player.play("ring.wav", AlertPlayer::kAsync));
    const uint32_t start = tickCount();
    EXPECT_FALSE(player.play("click.wav", AlertPlayer::kSync | AlertPlayer::kNoStop));
    EXPECT_FALSE(player.play("click.wav", AlertPlayer::kAsync | AlertPlayer::kNoStop));
    EXPECT_LT(tickCount() - start, 60u);
    ASSERT_TRUE(waitIdle(3000));
    EXPECT_EQ(outputs.count(), 1u);
    EXPECT_EQ(outputs.record(0).samples, ring);  // not cut short
    // With nothing playing, no-stop plays.
    EXPECT_TRUE(player.play("click.wav", AlertPlayer::kSync | AlertPlayer::kNoStop));
    EXPECT_EQ(outputs.record(1).samples, click);
}

TEST_F(AlertPlayerTest, PlayWithoutNoStopReplacesTheCurrentSound) {
    ASSERT_TRUE(player.play("ring.wav", AlertPlayer::kAsync));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(player.play("click.wav", AlertPlayer::kSync));
    ASSERT_EQ(outputs.count(), 2u);
    const OutputRecord first = outputs.record(0);
    EXPECT_FALSE(first.drained);
    EXPECT_LT(first.samples.size(), ring.size());
    EXPECT_EQ(outputs.record(1).samples, click);
}

TEST_F(AlertPlayerTest, LoopRepeatsTheSoundUntilStopped) {
    ASSERT_TRUE(player.play("click.wav", AlertPlayer::kAsync | AlertPlayer::kLoop));
    std::this_thread::sleep_for(std::chrono::milliseconds(650));
    EXPECT_TRUE(player.isPlaying());
    const uint32_t start = tickCount();
    player.stop();
    EXPECT_LT(tickCount() - start, 100u);
    EXPECT_FALSE(player.isPlaying());
    const OutputRecord r = outputs.record(0);
    EXPECT_GT(r.samples.size(), 2 * click.size());
    for (size_t i = 0; i < r.samples.size(); ++i) {
        ASSERT_EQ(r.samples[i], click[i % click.size()]) << i;
    }
    EXPECT_FALSE(r.drained);
    player.stop();  // nothing playing: no effect
}

TEST_F(AlertPlayerTest, StopFromAnotherThreadEndsASyncPlay) {
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        player.stop();
    });
    const uint32_t start = tickCount();
    EXPECT_TRUE(player.play("ring.wav", AlertPlayer::kSync));
    EXPECT_LT(tickCount() - start, 600u);
    stopper.join();
    EXPECT_FALSE(player.isPlaying());
}

TEST_F(AlertPlayerTest, FailuresReturnFalseAndLeaveTheCurrentSoundAlone) {
    EXPECT_FALSE(player.play("missing.wav", AlertPlayer::kAsync));
    EXPECT_FALSE(player.play("click.wav", AlertPlayer::kSync | AlertPlayer::kLoop));
    ASSERT_TRUE(player.play("ring.wav", AlertPlayer::kAsync));
    EXPECT_FALSE(player.play("missing.wav", AlertPlayer::kAsync));
    EXPECT_TRUE(player.isPlaying());
    player.stop();
    outputs.refuse = true;
    EXPECT_FALSE(player.play("click.wav", AlertPlayer::kAsync));
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(player.beep(1000, 50));
}

TEST_F(AlertPlayerTest, BeepIsATimedToneOfThatFrequency) {
    const uint32_t start = tickCount();
    ASSERT_TRUE(player.beep(1000, 100));
    EXPECT_GE(tickCount() - start, 95u);
    ASSERT_EQ(outputs.count(), 1u);
    const OutputRecord r = outputs.record(0);
    EXPECT_EQ(r.format.samplesPerSecond, AlertPlayer::kToneRate);
    EXPECT_EQ(r.format.channels, 1);
    ASSERT_EQ(r.samples.size(), AlertPlayer::kToneRate / 10);
    // 1000 Hz for 100 ms: 100 periods, two sign changes each.
    int crossings = 0;
    for (size_t i = 1; i < r.samples.size(); ++i) {
        if ((r.samples[i - 1] < 0) != (r.samples[i] < 0)) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 200, 4);
    int16_t peak = 0;
    for (int16_t s : r.samples) {
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    }
    EXPECT_GT(peak, 8000);
    // Ramped ends, so the tone starts and stops without a click.
    EXPECT_LT(std::abs(r.samples.front()), 100);
    EXPECT_LT(std::abs(r.samples.back()), 100);

    EXPECT_FALSE(player.beep(36, 100));
    EXPECT_FALSE(player.beep(32768, 100));
}

TEST_F(AlertPlayerTest, BeepPlaysBesideAnAlertWithoutStoppingIt) {
    ASSERT_TRUE(player.play("ring.wav", AlertPlayer::kAsync));
    ASSERT_TRUE(player.beep(700, 100));
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(waitIdle(2000));
    EXPECT_EQ(outputs.record(0).samples, ring);
}
