#include <gtest/gtest.h>

#include <vector>

#include "engine/Mixer.h"
#include "engine/PcmQueue.h"

using namespace ostrel::engine;

namespace {

std::vector<int16_t> filled(int16_t value) {
    return std::vector<int16_t>(kBlockSamples, value);
}

}  // namespace

TEST(Mixer, EachParticipantGetsTheSumOfTheOthers) {
    const auto a = filled(100), b = filled(-30), c = filled(7);
    const int16_t* blocks[] = {a.data(), b.data(), c.data()};
    Mixer mixer;
    mixer.sum(blocks);
    std::vector<int16_t> out(kBlockSamples);
    ASSERT_TRUE(mixer.mixFor(0, out.data()));
    EXPECT_EQ(out.front(), -23);
    EXPECT_EQ(out.back(), -23);
    ASSERT_TRUE(mixer.mixFor(1, out.data()));
    EXPECT_EQ(out[800], 107);
    ASSERT_TRUE(mixer.mixFor(2, out.data()));
    EXPECT_EQ(out[0], 70);
}

TEST(Mixer, SilentParticipantsHearTheOthersAndNobodyHearsOnlyThemselves) {
    const auto a = filled(500);
    const int16_t* blocks[] = {a.data(), nullptr, nullptr};
    Mixer mixer;
    mixer.sum(blocks);
    std::vector<int16_t> out(kBlockSamples, 1);
    // The only speaker has nobody else to hear: nothing to send it.
    EXPECT_FALSE(mixer.mixFor(0, out.data()));
    EXPECT_EQ(out[0], 1);
    ASSERT_TRUE(mixer.mixFor(1, out.data()));
    EXPECT_EQ(out[0], 500);
    ASSERT_TRUE(mixer.mixFor(2, out.data()));
    EXPECT_EQ(out[1599], 500);

    const int16_t* none[] = {nullptr, nullptr};
    mixer.sum(none);
    EXPECT_FALSE(mixer.mixFor(0, out.data()));
    EXPECT_FALSE(mixer.mixFor(1, out.data()));
}

TEST(Mixer, SumsClipToSixteenBitsWithoutWrapping) {
    const auto loud = filled(30000), quiet = filled(-32768);
    const int16_t* blocks[] = {loud.data(),  loud.data(),  loud.data(), quiet.data(),
                               quiet.data(), quiet.data(), quiet.data()};
    Mixer mixer;
    mixer.sum(blocks);
    std::vector<int16_t> out(kBlockSamples);
    // Others of a quiet one: 3 * 30000 - 3 * 32768 = -8304, no clipping.
    ASSERT_TRUE(mixer.mixFor(3, out.data()));
    EXPECT_EQ(out[0], -8304);
    const int16_t* high[] = {loud.data(), loud.data(), loud.data()};
    mixer.sum(high);
    ASSERT_TRUE(mixer.mixFor(0, out.data()));
    EXPECT_EQ(out[0], 32767);
    const int16_t* low[] = {quiet.data(), quiet.data(), quiet.data()};
    mixer.sum(low);
    ASSERT_TRUE(mixer.mixFor(2, out.data()));
    EXPECT_EQ(out[0], -32768);
}

TEST(PcmQueue, SessionQueueKeepsTheOldestFiveAndDropsTheSurplus) {
    PcmQueue queue(5);
    for (int16_t i = 1; i <= 7; ++i) {
        auto block = std::make_unique<PcmBlockBuffer>();
        (*block)[0] = i;
        EXPECT_EQ(queue.push(std::move(block)), i <= 5) << i;
    }
    EXPECT_EQ(queue.size(), 5u);
    for (int16_t i = 1; i <= 5; ++i) {
        auto block = queue.pop();
        ASSERT_TRUE(block);
        EXPECT_EQ((*block)[0], i);
    }
    EXPECT_FALSE(queue.pop());
    PcmQueue unbounded;
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(unbounded.push(std::make_unique<PcmBlockBuffer>()));
    }
    EXPECT_EQ(unbounded.size(), 50u);
}
