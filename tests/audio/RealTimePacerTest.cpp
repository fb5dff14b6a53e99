#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/RealTimePacer.h"

using ostrel::audio::RealTimePacer;
using Clock = std::chrono::steady_clock;

namespace {

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

TEST(RealTimePacer, PacesAgainstTheStartSoSmallPiecesDoNotDrift) {
    RealTimePacer pacer(8000, RealTimePacer::Mode::CatchUp);
    const auto start = Clock::now();
    pacer.start();
    for (int i = 0; i < 100; ++i) {
        pacer.advance(40);  // 5 ms each: 500 ms in all
    }
    const long elapsed = msSince(start);
    EXPECT_GE(elapsed, 499);
    EXPECT_LT(elapsed, 560);
    EXPECT_EQ(pacer.framesMoved(), 4000u);
}

TEST(RealTimePacer, SourceCatchesUpAfterAStall) {
    RealTimePacer pacer(8000, RealTimePacer::Mode::CatchUp);
    pacer.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    auto t = Clock::now();
    pacer.advance(800);  // its 100 ms are already past
    EXPECT_LT(msSince(t), 20);
    t = Clock::now();
    pacer.advance(800);  // ends at 200 ms: about 50 ms more
    EXPECT_GE(msSince(t), 30);
    EXPECT_LT(msSince(t), 80);
}

TEST(RealTimePacer, SinkRestartsTheClockAfterAGap) {
    RealTimePacer pacer(8000, RealTimePacer::Mode::Restart);
    pacer.start();
    pacer.advance(800);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Nothing was played for 200 ms; the next 100 ms take their full time.
    const auto t = Clock::now();
    pacer.advance(800);
    EXPECT_GE(msSince(t), 95);
    EXPECT_LT(msSince(t), 150);
}
