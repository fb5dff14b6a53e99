#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "gateway/EchoSource.h"
#include "gateway/ToneSource.h"
#include "tests/support/ToneMeter.h"

using namespace ostrel::gateway;
using ostrel::test::strongest;

class ToneSourceTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ToneSourceTest, BlocksFollowOneContinuousSine) {
    const uint32_t hz = GetParam();
    ToneSource tone(hz);
    // Six blocks are 9600 samples: past one second, where the generator folds its phase.
    std::vector<int16_t> all;
    for (int b = 0; b < 6; ++b) {
        VoiceBlock block{};
        tone.next(block);
        all.insert(all.end(), block.begin(), block.end());
    }
    for (size_t n = 0; n < all.size(); ++n) {
        const double expected = 10000.0 * std::sin(2.0 * std::numbers::pi * hz * n / 8000.0);
        ASSERT_NEAR(all[n], expected, 1.0) << "sample " << n;
    }
    const std::vector<double> candidates{250, 440, 700, 1000, 1500, 2200, 3000, 3900};
    EXPECT_EQ(strongest(std::span<const int16_t>(all).first(1600), candidates), hz);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, ToneSourceTest, ::testing::Values(440u, 1000u, 3900u));

TEST(EchoSourceTest, ReturnsWholeBlocksInOrderAndSilenceWhenEmpty) {
    EchoSource echo;
    VoiceBlock out{};
    out.fill(7);
    echo.next(out);
    EXPECT_EQ(ostrel::test::rms(out), 0.0) << "nothing heard yet: silence";

    std::vector<int16_t> first(800), second(800);
    for (size_t i = 0; i < 800; ++i) {
        first[i] = static_cast<int16_t>(i);
        second[i] = static_cast<int16_t>(-static_cast<int>(i) - 1);
    }
    echo.take(first);
    echo.next(out);
    EXPECT_EQ(ostrel::test::rms(out), 0.0) << "half a block waits for the rest";
    echo.take(second);
    echo.next(out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[799], 799);
    EXPECT_EQ(out[800], -1);
    EXPECT_EQ(out[1599], -800);
    EXPECT_EQ(echo.queuedSamples(), 0u);
}

TEST(EchoSourceTest, KeepsAtMostFiveBlocksDroppingTheOldest) {
    EchoSource echo;
    for (int16_t b = 1; b <= 7; ++b) {
        VoiceBlock in{};
        in.fill(b);
        echo.take(in);
    }
    EXPECT_EQ(echo.queuedSamples(), 5u * 1600u);
    for (int16_t expected = 3; expected <= 7; ++expected) {
        VoiceBlock out{};
        echo.next(out);
        EXPECT_EQ(out.front(), expected);
        EXPECT_EQ(out.back(), expected);
    }
    VoiceBlock out{};
    echo.next(out);
    EXPECT_EQ(ostrel::test::rms(out), 0.0);
}

TEST(VoiceSourceTest, SettingsChooseTheSource) {
    BridgeSettings settings;
    settings.voice = VoiceMode::Echo;
    EXPECT_NE(dynamic_cast<EchoSource*>(VoiceSource::create(settings).get()), nullptr);
    settings.voice = VoiceMode::Tone;
    EXPECT_NE(dynamic_cast<ToneSource*>(VoiceSource::create(settings).get()), nullptr);
}
