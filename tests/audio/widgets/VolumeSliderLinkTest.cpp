#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QSlider>

#include "audio/mixer/VolumeControl.h"
#include "audio/widgets/VolumeSliderLink.h"
#include "tests/audio/mixer/MixerFixtures.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel::audio;
using namespace ostrel::audio::test;


namespace {

TEST(VolumeSliderLink, ShowsTheCurrentValueOnTheInvertedScale) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    QSlider slider(Qt::Vertical);
    VolumeSliderLink link(slider, master);
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 255);
    EXPECT_TRUE(slider.isEnabled());
    EXPECT_TRUE(slider.invertedAppearance());
    EXPECT_EQ(slider.value(), 255 - 40000 / 256);
}

TEST(VolumeSliderLink, ReleaseAtTopAndBottomSetsTheVolume) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    QSlider slider(Qt::Vertical);
    VolumeSliderLink link(slider, wave);
    QSignalSpy spy(&link, &VolumeSliderLink::volumeSet);

    // A drag: moves while the slider is down set nothing; the release sets it once.
    slider.setSliderDown(true);
    slider.setValue(10);
    slider.setValue(0);
    EXPECT_EQ(card->volume("PCM", MixerDirection::Playback), 50000);
    slider.setSliderDown(false);
    EXPECT_EQ(card->volume("PCM", MixerDirection::Playback), 65280);

    slider.setSliderDown(true);
    slider.setValue(255);
    slider.setSliderDown(false);
    EXPECT_EQ(card->volume("PCM", MixerDirection::Playback), 0);
    ASSERT_GE(spy.count(), 2);
    EXPECT_EQ(spy.back().at(0).value<long>(), 0);
}

TEST(VolumeSliderLink, AnOutsideChangeMovesTheSliderOnTheGuiThread) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    QSlider slider(Qt::Vertical);
    VolumeSliderLink link(slider, master);
    const int writes = card->writeCount("Master");
    card->setVolume("Master", MixerDirection::Playback, 32768);
    EXPECT_TRUE(ostrel::test::processEventsUntil([&] { return slider.value() == 127; }));
    // Following the mixer never writes back to it.
    EXPECT_EQ(card->writeCount("Master"), writes + 1);
}

TEST(VolumeSliderLink, KeyStepsSetTheVolumeAtOnce) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl mic(VolumeKind::MicrophoneLevel, card->open());
    QSlider slider(Qt::Vertical);
    VolumeSliderLink link(slider, mic);
    slider.triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(card->volume("Capture", MixerDirection::Capture), 65280);
}

TEST(VolumeSliderLink, AnUnavailableLineDisablesItsSlider) {
    ostrel::test::qtApp();
    VolumeControl none(VolumeKind::MicrophoneLevel, nullptr);
    QSlider slider(Qt::Vertical);
    slider.setValue(17);
    VolumeSliderLink link(slider, none);
    EXPECT_FALSE(slider.isEnabled());
    link.setPosition(0);
    EXPECT_EQ(none.getValue(), -1);
}

TEST(VolumeSliderLink, SetPositionMovesAndSets) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl wave(VolumeKind::WaveOutput, card->open());
    QSlider slider(Qt::Vertical);
    VolumeSliderLink link(slider, wave);
    link.setPosition(55);
    EXPECT_EQ(slider.value(), 55);
    EXPECT_EQ(card->volume("PCM", MixerDirection::Playback), 51200);
}

TEST(VolumeSliderLink, NoQueuedChangeReachesADestroyedLink) {
    ostrel::test::qtApp();
    auto card = laptopCard();
    VolumeControl master(VolumeKind::MasterOutput, card->open());
    QSlider slider(Qt::Vertical);
    {
        VolumeSliderLink link(slider, master);
        card->setVolume("Master", MixerDirection::Playback, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // queued, not delivered
    }
    const int before = slider.value();
    QApplication::processEvents();
    EXPECT_EQ(slider.value(), before);
}

}  // namespace
