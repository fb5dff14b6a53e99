#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/mixer/AlsaMixerBackend.h"
#include "audio/mixer/MixerLines.h"
#include "audio/mixer/VolumeControl.h"
#include "audio/mixer/VolumeScale.h"
#include "tests/audio/mixer/MixerFixtures.h"

using namespace ostrel::audio;
using namespace ostrel::audio::test;
using namespace std::chrono_literals;

namespace {

// --- slider scale --------------------------------------------------------------------------

struct ScaleCase {
    int position;
    long volume;
};

class SliderToVolume : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(SliderToVolume, PositionStandsFor255MinusPTimes256) {
    EXPECT_EQ(volumeForSliderPosition(GetParam().position), GetParam().volume);
}

INSTANTIATE_TEST_SUITE_P(Positions, SliderToVolume,
                         ::testing::Values(ScaleCase{0, 65280}, ScaleCase{255, 0},
                                           ScaleCase{127, 32768}, ScaleCase{55, 51200},
                                           ScaleCase{-3, 65280}, ScaleCase{300, 0}));

class VolumeToSlider : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(VolumeToSlider, ValueShownAt255MinusValueOver256) {
    EXPECT_EQ(sliderPositionForVolume(GetParam().volume), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(Values, VolumeToSlider,
                         ::testing::Values(ScaleCase{127, 32768}, ScaleCase{0, 65535},
                                           ScaleCase{0, 65280}, ScaleCase{255, 255},
                                           ScaleCase{255, 0}, ScaleCase{224, 7936},
                                           ScaleCase{255, -1}));

// --- finding the lines ---------------------------------------------------------------------

TEST(VolumeControl, EachKindFindsItsLine) {
    auto card = laptopCard(20000);
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    ASSERT_TRUE(master.isAvailable());
    ASSERT_TRUE(wave.isAvailable());
    ASSERT_TRUE(mic.isAvailable());
    EXPECT_EQ(master.getValue(), 40000);
    EXPECT_EQ(wave.getValue(), 50000);
    EXPECT_EQ(mic.getValue(), 20000);  // "Capture", not the "Mic" playback loop
    EXPECT_EQ(master.minimum(), 0);
    EXPECT_EQ(master.maximum(), 65535);
    EXPECT_EQ(master.stepCount(), 65536);
}

TEST(VolumeControl, WithoutAMixerEverythingIsUnavailable) {
    VolumeControl none(VolumeKind::MasterOutput, nullptr);
    EXPECT_FALSE(none.isAvailable());
    EXPECT_EQ(none.getValue(), -1);
    EXPECT_EQ(none.minimum(), -1);
    EXPECT_EQ(none.maximum(), -1);
    EXPECT_EQ(none.stepCount(), 0);
    EXPECT_EQ(none.setValue(100), 0);
    EXPECT_EQ(none.enable(), 0);
    EXPECT_EQ(none.disable(), 0);
}

TEST(VolumeControl, ACardThatCannotBeOpenedLeavesEveryKindUnavailable) {
    EXPECT_EQ(AlsaMixerBackend::open("hw:97"), nullptr);
    VolumeControl mic(VolumeKind::MicrophoneLevel, AlsaMixerBackend::open("hw:97"));
    EXPECT_FALSE(mic.isAvailable());
    EXPECT_EQ(mic.sourceIndex(), -1);
    // The default card: on a machine without one (CI) nothing is available; with one, a
    // control that is available must read inside its bounds.
    for (VolumeKind kind :
         {VolumeKind::MasterOutput, VolumeKind::WaveOutput, VolumeKind::MicrophoneLevel}) {
        auto control = VolumeControl::onDefaultCard(kind);
        if (!AlsaMixerBackend::open()) {
            EXPECT_FALSE(control->isAvailable());
        } else if (control->isAvailable()) {
            EXPECT_GE(control->getValue(), 0);
            EXPECT_LE(control->getValue(), 65535);
        }
    }
}

TEST(VolumeControl, CardWithoutTheLinesOrWithAnInactiveOne) {
    auto card = MemoryMixer::create();
    card->add(element("Headphone", playbackVolume(100)));
    card->add(inactive(element("PCM", playbackVolume(100))));
    EXPECT_FALSE(VolumeControl(VolumeKind::MasterOutput, card->open()).isAvailable());
    EXPECT_FALSE(VolumeControl(VolumeKind::WaveOutput, card->open()).isAvailable());
    EXPECT_FALSE(VolumeControl(VolumeKind::MicrophoneLevel, card->open()).isAvailable());
}

TEST(VolumeControl, ACardThatRefusesOpeningGivesNoHandle) {
    auto card = laptopCard();
    card->refuseOpen(true);
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    EXPECT_FALSE(master.isAvailable());
}

// --- microphone source choice --------------------------------------------------------------

MemoryMixer::Side captureVolume(long initial) {
    MemoryMixer::Side s;
    s.volume = true;
    s.initialVolume = initial;
    return s;
}

TEST(MicrophoneSource, WithoutAMicrophoneNameTheFirstSourceIsUsed) {
    auto card = MemoryMixer::create();
    card->add(element("Master", playbackVolume(1)));
    card->add(element("Line", {}, captureVolume(1111)));
    card->add(element("CD", {}, captureVolume(2222)));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    ASSERT_TRUE(mic.isAvailable());
    EXPECT_EQ(mic.sourceIndex(), 0);
    EXPECT_EQ(mic.getValue(), 1111);
}

TEST(MicrophoneSource, TheLastMicrophoneNamedSourceWins) {
    auto card = MemoryMixer::create();
    card->add(element("Line", {}, captureVolume(1)));
    card->add(element("Front Mic", {}, captureVolume(2)));
    card->add(element("Mic Boost", {}, captureVolume(3)));
    card->add(element("Rear Mic", {}, captureVolume(4)));
    card->add(element("Aux", {}, captureVolume(5)));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    EXPECT_EQ(mic.sourceIndex(), 3);
    EXPECT_EQ(mic.getValue(), 4);
}

TEST(MicrophoneSource, TheCardsRecordingLevelComesBeforeAMicInput) {
    auto card = MemoryMixer::create();
    card->add(element("Mic", {}, captureVolume(1)));
    card->add(element("Capture", {}, captureVolume(2)));
    card->add(indexed(element("Capture", {}, captureVolume(3)), 1));
    card->add(element("Digital", {}, captureVolume(4)));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    EXPECT_EQ(mic.sourceIndex(), 2);
    EXPECT_EQ(mic.getValue(), 3);
}

TEST(MicrophoneSource, NoSourcesDisablesTheMicrophone) {
    auto card = MemoryMixer::create();
    card->add(element("Master", playbackVolume(1)));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    EXPECT_FALSE(mic.isAvailable());
    EXPECT_EQ(mic.sourceIndex(), -1);
}

TEST(MicrophoneSource, AGivenIndexIsUsedAndAnOutOfRangeOneIsRefused) {
    auto card = MemoryMixer::create();
    card->add(element("Mic", {}, captureVolume(7)));
    card->add(element("Line", {}, captureVolume(8)));
    EXPECT_EQ(VolumeControl(VolumeKind::MicrophoneLevel, card->open(), 1).getValue(), 8);
    EXPECT_FALSE(VolumeControl(VolumeKind::MicrophoneLevel, card->open(), 2).isAvailable());
}

TEST(MixerLines, MicrophoneNames) {
    EXPECT_TRUE(isMicrophoneName("Mic"));
    EXPECT_TRUE(isMicrophoneName("Microphone"));
    EXPECT_TRUE(isMicrophoneName("Internal Mic"));
    EXPECT_FALSE(isMicrophoneName("Mic Boost"));
    EXPECT_FALSE(isMicrophoneName(" Mic"));
    EXPECT_FALSE(isMicrophoneName("Mike"));
    EXPECT_FALSE(isMicrophoneName(""));
}

// --- values --------------------------------------------------------------------------------

TEST(VolumeControl, SetValueSetsEveryChannelAndRefusesOutOfBounds) {
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    ASSERT_EQ(master.setValue(volumeForSliderPosition(0)), 1);
    EXPECT_EQ(card->volume("Master", MixerDirection::Playback, 0), 65280);
    EXPECT_EQ(card->volume("Master", MixerDirection::Playback, 1), 65280);
    ASSERT_EQ(master.setValue(volumeForSliderPosition(255)), 1);
    EXPECT_EQ(card->volume("Master", MixerDirection::Playback, 1), 0);

    const int writes = card->writeCount("Master");
    EXPECT_EQ(master.setValue(-1), 0);
    EXPECT_EQ(master.setValue(65536), 0);
    EXPECT_EQ(card->writeCount("Master"), writes);
    EXPECT_EQ(master.getValue(), 0);
}

TEST(VolumeControl, ACoarseCardIsMappedOntoTheFullScale) {
    auto card = MemoryMixer::create();
    MemoryMixer::Side side = playbackVolume(87);
    side.maximum = 87;
    card->add(element("PCM", side));
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    EXPECT_EQ(wave.getValue(), 65535);
    EXPECT_EQ(wave.stepCount(), 88);
    ASSERT_EQ(wave.setValue(32768), 1);
    EXPECT_EQ(card->volume("PCM", MixerDirection::Playback), 44);
    // The value set reads back as set, so a released slider does not jump a step.
    EXPECT_EQ(wave.getValue(), 32768);
    // Another program's level is scaled: 29 of 87 is a third.
    card->setVolume("PCM", MixerDirection::Playback, 29);
    EXPECT_EQ(wave.getValue(), 21845);
}

TEST(VolumeControl, AnOffsetRangeMapsItsEnds) {
    auto card = MemoryMixer::create();
    MemoryMixer::Side side = captureVolume(-20);
    side.minimum = -20;
    side.maximum = 12;
    card->add(element("Capture", {}, side));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    EXPECT_EQ(mic.getValue(), 0);
    ASSERT_EQ(mic.setValue(65535), 1);
    EXPECT_EQ(card->volume("Capture", MixerDirection::Capture), 12);
}

TEST(VolumeControl, EnableUnmutesAndDisableMutes) {
    auto card = laptopCard();
    card->setSwitch("PCM", MixerDirection::Playback, false);
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    EXPECT_EQ(wave.enable(), 1);
    EXPECT_EQ(card->switchOn("PCM", MixerDirection::Playback, 0), true);
    EXPECT_EQ(card->switchOn("PCM", MixerDirection::Playback, 1), true);
    EXPECT_EQ(wave.disable(), 1);
    EXPECT_EQ(card->switchOn("PCM", MixerDirection::Playback, 1), false);

    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    EXPECT_EQ(mic.enable(), 1);
    EXPECT_EQ(card->switchOn("Capture", MixerDirection::Capture), true);
}

TEST(VolumeControl, ALineWithoutASwitchIsAlwaysOn) {
    auto card = MemoryMixer::create();
    card->add(element("Master", playbackVolume(5, 1, false)));
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    EXPECT_EQ(master.enable(), 1);
    EXPECT_EQ(master.disable(), 0);
}

// --- change notifications ------------------------------------------------------------------

class Notifications {
public:
    VolumeControl::ChangeCallback callback() {
        return [this](long value, void* context) {
            std::lock_guard lock(mutex_);
            values_.push_back(value);
            contexts_.push_back(context);
            threads_.push_back(std::this_thread::get_id());
            changed_.notify_all();
        };
    }
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return values_.size() >= count; });
    }
    std::vector<long> values() {
        std::lock_guard lock(mutex_);
        return values_;
    }
    void* lastContext() {
        std::lock_guard lock(mutex_);
        return contexts_.back();
    }
    std::thread::id lastThread() {
        std::lock_guard lock(mutex_);
        return threads_.back();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<long> values_;
    std::vector<void*> contexts_;
    std::vector<std::thread::id> threads_;
};

TEST(VolumeNotifications, AnOutsideChangeReachesTheCallbackOnTheWatcherThread) {
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    Notifications seen;
    int context = 0;
    master.setChangeCallback(seen.callback(), &context);

    ASSERT_TRUE(card->setVolume("Master", MixerDirection::Playback, 32768));
    ASSERT_TRUE(seen.waitFor(1));
    EXPECT_EQ(seen.values().back(), 32768);
    EXPECT_EQ(sliderPositionForVolume(seen.values().back()), 127);
    EXPECT_EQ(seen.lastContext(), &context);
    EXPECT_NE(seen.lastThread(), std::this_thread::get_id());
}

TEST(VolumeNotifications, OnlyChangesOfTheOwnLineAreReported) {
    auto card = laptopCard();
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    Notifications seen;
    wave.setChangeCallback(seen.callback(), nullptr);
    card->setVolume("Master", MixerDirection::Playback, 100);
    card->setSwitch("Capture", MixerDirection::Capture, true);
    card->setVolume("PCM", MixerDirection::Playback, 1234);
    ASSERT_TRUE(seen.waitFor(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(seen.values(), std::vector<long>{1234});
}

TEST(VolumeNotifications, ANewCallbackReplacesTheOldAndNullStopsReports) {
    auto card = laptopCard();
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    Notifications first;
    Notifications second;
    mic.setChangeCallback(first.callback(), nullptr);
    card->setVolume("Capture", MixerDirection::Capture, 1);
    ASSERT_TRUE(first.waitFor(1));
    mic.setChangeCallback(second.callback(), nullptr);
    card->setVolume("Capture", MixerDirection::Capture, 2);
    ASSERT_TRUE(second.waitFor(1));
    mic.setChangeCallback(nullptr, nullptr);
    card->setVolume("Capture", MixerDirection::Capture, 3);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(first.values(), std::vector<long>{1});
    EXPECT_EQ(second.values(), std::vector<long>{2});
}

TEST(VolumeNotifications, DestroyingWhileChangesFlowStopsTheWatcherCleanly) {
    auto card = laptopCard();
    std::atomic<bool> stop{false};
    std::thread otherProgram([&] {
        long v = 0;
        while (!stop) {
            card->setVolume("Master", MixerDirection::Playback, v++ % 65536);
        }
    });
    std::atomic<int> calls{0};
    for (int i = 0; i < 20; ++i) {
        auto master = std::make_unique<VolumeControl>(VolumeKind::MasterOutput, card->open());
        master->setChangeCallback([&](long, void*) { calls++; }, nullptr);
        std::this_thread::sleep_for(2ms);
        master.reset();
        const int after = calls.load();
        std::this_thread::sleep_for(1ms);
        EXPECT_EQ(calls.load(), after) << "a callback ran after destruction";
    }
    stop = true;
    otherProgram.join();
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(card->openHandleCount(), 0);
}

TEST(VolumeNotifications, AnUnpluggedCardEndsTheWatcherAndTheLine) {
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    ASSERT_TRUE(master.isAvailable());
    card->unplug();
    for (int i = 0; i < 500 && master.isAvailable(); ++i) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_FALSE(master.isAvailable());
    EXPECT_EQ(master.getValue(), -1);
    EXPECT_EQ(master.setValue(10), 0);
}

}  // namespace
