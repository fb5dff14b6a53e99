#include <gtest/gtest.h>

#include <QImage>

#include <vector>

#include "audio/widgets/WaveformDisplay.h"
#include "tests/support/QtTestApp.h"

using ostrel::audio::WaveformDisplay;

namespace {

std::vector<int16_t> ramp() {
    std::vector<int16_t> s(1600);
    for (int i = 0; i < 1600; ++i) {
        s[i] = static_cast<int16_t>(i * 20 - 16000);
    }
    return s;
}

// The drawing rule worked by hand: i = x * 1600 / width, y = s * (h - 5) / 65535 + (h - 5) / 2.
TEST(WaveformDisplay, PointsFollowTheSampleStepAndHeight) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(400, 105);  // drawing height 100, step 4
    const auto samples = ramp();
    display.showSamples(samples, true);
    const auto t = display.trace(1);
    ASSERT_EQ(t.size(), 400u);
    // x = 0: sample 0 = -16000 -> -24.41 + 50 = 25.58 -> 25.
    EXPECT_EQ(t[0], QPoint(0, 25));
    // x = 100: sample 400 = -8000 -> -12.2 + 50 -> 37.
    EXPECT_EQ(t[100], QPoint(100, 37));
    // x = 399: sample 1596 = 15920 -> 24.29 + 50 -> 74.
    EXPECT_EQ(t[399], QPoint(399, 74));
    // Trace 2 is untouched.
    EXPECT_EQ(display.trace(2)[100], QPoint(0, 0));
}

TEST(WaveformDisplay, ExtremesAndAFractionalStep) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(3, 65540);  // drawing height 65535, step 533.33
    std::vector<int16_t> s(1600, 0);
    s[0] = -32768;
    s[533] = 32767;
    s[1066] = 1;
    display.showSamples(s, false);
    const auto t = display.trace(2);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].y(), static_cast<int>(-32768.0 + 32767.5));  // 0 after truncation
    EXPECT_EQ(t[1].y(), 65535 - 1);                             // 32767 + 32767.5 -> 65534
    EXPECT_EQ(t[2].y(), 32768);                                 // 1 + 32767.5 -> 32768
}

TEST(WaveformDisplay, WiderThanABlockDrawsOnePointPerSample) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(2000, 45);
    display.showThirdTrace(ramp());
    const auto t = display.trace(3);
    ASSERT_EQ(t.size(), 1600u);
    EXPECT_EQ(t[1599].x(), 1599);
}

TEST(WaveformDisplay, AShortBlockIsPaddedWithSilence) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(1600, 25);  // drawing height 20
    std::vector<int16_t> s(10, 32767);
    display.showSamples(s, true);
    EXPECT_EQ(display.trace(1)[9].y(), 19);
    EXPECT_EQ(display.trace(1)[10].y(), 10);
}

TEST(WaveformDisplay, ResizingMeasuresAgain) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(800, 105);
    display.showSamples(ramp(), true);
    display.resize(200, 205);
    display.showSamples(ramp(), true);
    const auto t = display.trace(1);
    ASSERT_EQ(t.size(), 200u);
    // x = 50: step 8 -> sample 400 = -8000 -> -24.4 + 100 -> 75.
    EXPECT_EQ(t[50], QPoint(50, 75));
}

TEST(WaveformDisplay, PaintsTracesInTheirColoursOnBlack) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(160, 45);  // drawing height 40, midline 20
    std::vector<int16_t> flat(1600, 0);
    std::vector<int16_t> low(1600, 16384);  // 16384 * 40 / 65535 + 20 = 30
    display.showSamples(flat, true);
    display.showSamples(low, false);
    const QImage image = display.grab().toImage();
    EXPECT_EQ(image.pixelColor(80, 20), QColor(206, 255, 0));
    EXPECT_EQ(image.pixelColor(80, 30), QColor(0, 154, 255));
    EXPECT_EQ(image.pixelColor(80, 5), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(80, 40), QColor(Qt::black));
}

TEST(WaveformDisplay, ClearEmptiesTracesAndStatus) {
    ostrel::test::qtApp();
    WaveformDisplay display;
    display.resize(100, 45);
    display.showSamples(ramp(), true);
    display.setStatusText("Recording");
    EXPECT_EQ(display.statusColour(), QColor(Qt::red));
    display.setStatusText("Playing", Qt::green);
    EXPECT_EQ(display.statusText(), "Playing");
    EXPECT_EQ(display.statusColour(), QColor(Qt::green));
    display.clearDisplay();
    EXPECT_TRUE(display.statusText().isEmpty());
    for (int n = 1; n <= 3; ++n) {
        for (const QPoint& p : display.trace(n)) {
            ASSERT_EQ(p, QPoint(0, 0));
        }
    }
    const QImage image = display.grab().toImage();
    EXPECT_EQ(image.pixelColor(50, 20), QColor(Qt::black));
}

}  // namespace
