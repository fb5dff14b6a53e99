#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/settings/Settings.h"
#include "audio/mixer/CallMixerSettings.h"
#include "audio/mixer/VolumeControl.h"
#include "tests/audio/mixer/MixerFixtures.h"

using namespace ostrel::audio;
using namespace ostrel::audio::test;

namespace {

constexpr auto kPlay = MixerDirection::Playback;
constexpr auto kRec = MixerDirection::Capture;

struct LevelCase {
    long before;
    long after;
    std::optional<int> slider;
};

class QuietMicrophone : public ::testing::TestWithParam<LevelCase> {};

TEST_P(QuietMicrophone, RaisedBelow32AndLeftFrom32) {
    auto card = laptopCard(GetParam().before);
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    auto mixer = card->open();
    EXPECT_EQ(CallMixerSettings::apply(*mixer, mic), GetParam().slider);
    EXPECT_EQ(card->volume("Capture", kRec, 0), GetParam().after);
    EXPECT_EQ(card->volume("Capture", kRec, 1), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Levels, QuietMicrophone,
                         ::testing::Values(LevelCase{7936, 32768, 128},
                                           LevelCase{8192, 8192, std::nullopt},
                                           LevelCase{0, 32768, 128}, LevelCase{8191, 32768, 128},
                                           LevelCase{65535, 65535, std::nullopt}));

TEST(CallMixerSettings, MicrophoneRecordedNotEchoedAndWaveHeardNotRecorded) {
    auto card = MemoryMixer::create();
    card->add(element("Master", playbackVolume(1)));
    card->add(element("PCM", switchOnly(false), switchOnly(true)));
    card->add(element("Mic", switchOnly(true), switchOnly(false)));
    card->add(element("Front Mic", switchOnly(true), switchOnly(false)));
    card->add(element("Line", switchOnly(false), switchOnly(false)));
    MemoryMixer::Side level = playbackVolume(40000);
    level.initialSwitch = false;
    card->add(element("Capture", {}, level));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    auto mixer = card->open();
    CallMixerSettings::apply(*mixer, mic);

    EXPECT_EQ(card->switchOn("PCM", kPlay, 1), true);
    EXPECT_EQ(card->switchOn("PCM", kRec, 1), false);
    EXPECT_EQ(card->switchOn("Mic", kPlay, 0), false);
    EXPECT_EQ(card->switchOn("Mic", kRec, 1), true);
    EXPECT_EQ(card->switchOn("Front Mic", kPlay, 1), false);
    EXPECT_EQ(card->switchOn("Front Mic", kRec, 0), true);
    EXPECT_EQ(card->switchOn("Capture", kRec, 0), true);
    EXPECT_EQ(card->switchOn("Capture", kRec, 1), true);
    // Lines that are neither wave output nor microphone are left alone.
    EXPECT_EQ(card->writeCount("Line"), 0);
    EXPECT_EQ(card->writeCount("Master"), 0);
}

TEST(CallMixerSettings, TheCaptureSelectorMovesToTheMicrophoneOnEveryChannel) {
    auto card = laptopCard(40000);
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    auto mixer = card->open();
    CallMixerSettings::apply(*mixer, mic);
    // Items "Line", "Internal Mic", "Mic": the first microphone item is chosen.
    EXPECT_EQ(card->enumItem("Input Source", 0), 1);
    EXPECT_EQ(card->enumItem("Input Source", 1), 1);
}

TEST(CallMixerSettings, ASelectorWithoutAMicrophoneItemIsNotTouched) {
    auto card = MemoryMixer::create();
    card->add(element("Capture", {}, playbackVolume(40000)));
    card->add(selector("Capture Source", {"Line", "CD"}, 1, 1));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    auto mixer = card->open();
    CallMixerSettings::apply(*mixer, mic);
    EXPECT_EQ(card->enumItem("Capture Source"), 1);
    EXPECT_EQ(card->writeCount("Capture Source"), 0);
}

TEST(CallMixerSettings, NothingToAdjustChangesNothing) {
    auto card = MemoryMixer::create();
    card->add(element("Headphone", playbackVolume(3)));
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    auto mixer = card->open();
    EXPECT_EQ(CallMixerSettings::apply(*mixer, mic), std::nullopt);
    EXPECT_EQ(card->writeCount("Headphone"), 0);
}

TEST(CallMixerSettings, WithoutAnyCardOnlyTheMicrophoneStepRuns) {
    VolumeControl mic(VolumeKind::MicrophoneLevel, nullptr);
    EXPECT_EQ(CallMixerSettings::applyToDefaultCard(mic), std::nullopt);
}

TEST(CallMixerSettings, SwitchFollowsTheStoredValueWithOnAsDefault) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("ostrel-mixer-settings-" + std::to_string(getpid()));
    fs::remove_all(folder);
    setenv("OSTREL_CONFIG_DIR", folder.c_str(), 1);
    EXPECT_TRUE(CallMixerSettings::enabled());
    ASSERT_TRUE(ostrel::settings::write(ostrel::settings::value::AutoMMSettings, 0));
    EXPECT_FALSE(CallMixerSettings::enabled());
    ASSERT_TRUE(ostrel::settings::write(ostrel::settings::value::AutoMMSettings, 1));
    EXPECT_TRUE(CallMixerSettings::enabled());
    unsetenv("OSTREL_CONFIG_DIR");
    fs::remove_all(folder);
}

}  // namespace
