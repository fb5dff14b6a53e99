#include <gtest/gtest.h>
#include <portaudio.h>

#include <vector>

#include "audio/PortAudioBackend.h"
#include "audio/PortAudioLibrary.h"
#include "audio/WaveInDevice.h"
#include "audio/WaveOutDevice.h"
#include "platform/Platform.h"
#include "sync/ThreadMessages.h"

using namespace ostrel;
using namespace ostrel::audio;
using ostrel::platform::tickCount;

namespace {

bool haveDefault(bool input) {
    auto library = PortAudioLibrary::acquire();
    if (!library) {
        return false;
    }
    std::lock_guard lock(PortAudioLibrary::apiMutex());
    return (input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice()) != paNoDevice;
}

void drainQueue() {
    sync::ensureMessageQueue();
    sync::ThreadMessage m;
    while (sync::peekMessage(m)) {
    }
}

}  // namespace

// Where no sound card exists the devices must fail at the format question, without the two
// seconds of retries that a busy card gets.
TEST(PortAudioBackendTest, WithoutACardTheDevicesFailAtOnce) {
    if (haveDefault(true) || haveDefault(false)) {
        GTEST_SKIP() << "this machine has a sound card";
    }
    drainQueue();
    PortAudioBackend backend;
    EXPECT_EQ(backend.queryFormat(WaveDirection::Capture, AudioFormat::pcm(8000, 1, 16)),
              MMSYSERR_BADDEVICEID);
    WaveInDevice in(1600, 8000, 1, 16, backend);
    WaveOutDevice out(1600, 8000, 1, 16, backend, [] {});
    const uint32_t start = tickCount();
    EXPECT_FALSE(in.open(sync::currentThreadId()));
    EXPECT_FALSE(out.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 1000u);
}

TEST(PortAudioBackendTest, CapturesFromTheDefaultInput) {
    if (!haveDefault(true)) {
        GTEST_SKIP() << "no default input device";
    }
    drainQueue();
    PortAudioBackend backend;
    WaveInDevice device(1600, 8000, 1, 16, backend);
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    int blocks = 0;
    const uint32_t start = tickCount();
    sync::ThreadMessage m;
    while (blocks < 3 && sync::waitMessage(m, 2000)) {
        if (m.message == sync::MM_WIM_DATA && device.isCurrentDone()) {
            device.requeue();
            ++blocks;
        }
    }
    EXPECT_EQ(blocks, 3);
    EXPECT_GE(tickCount() - start, 500u);  // three blocks of 200 ms at the card's pace
    device.stop();
    while (sync::peekMessage(m)) {
        device.requeue();
    }
    EXPECT_TRUE(device.close());
}

TEST(PortAudioBackendTest, PlaysOnTheDefaultOutput) {
    if (!haveDefault(false)) {
        GTEST_SKIP() << "no default output device";
    }
    drainQueue();
    PortAudioBackend backend;
    WaveOutDevice device(1600, 8000, 1, 16, backend, [] {});
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    const std::vector<int16_t> quiet(1600, 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(device.write(quiet.data()));
    }
    int done = 0;
    sync::ThreadMessage m;
    while (done < 3 && sync::waitMessage(m, 3000)) {
        if (m.message == sync::MM_WOM_DONE) {
            device.releaseOldest();
            ++done;
        }
    }
    EXPECT_EQ(done, 3);
    device.stop();
    EXPECT_TRUE(device.close());
}
