#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/WaveInDevice.h"
#include "platform/Platform.h"
#include "sync/ThreadMessages.h"
#include "tests/audio/ScriptedWaveBackend.h"

using namespace ostrel::audio;
using ostrel::audio::testing::ScriptedWaveBackend;
using ostrel::platform::tickCount;
using namespace ostrel;

namespace {

constexpr uint32_t kBytes = 3200;

// The loop both owners run: a completion whose current buffer is not done is ignored.
// Returns the number of blocks taken; their contents go to `blocks`.
int drainCompletions(WaveInDevice& device, std::vector<std::vector<uint8_t>>* blocks = nullptr) {
    int taken = 0;
    sync::ThreadMessage m;
    while (sync::peekMessage(m)) {
        if (m.message != sync::MM_WIM_DATA || !device.isCurrentDone()) {
            continue;
        }
        if (blocks != nullptr) {
            blocks->emplace_back(device.currentData(), device.currentData() + kBytes);
        }
        device.requeue();
        ++taken;
    }
    return taken;
}

class WaveInDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sync::ensureMessageQueue();
        sync::ThreadMessage m;
        while (sync::peekMessage(m)) {
        }
    }

    const WaveHeader* lastQueued() const {
        for (auto it = backend.last->calls.rbegin(); it != backend.last->calls.rend(); ++it) {
            if (it->what == "queue") {
                return it->header;
            }
        }
        return nullptr;
    }

    ScriptedWaveBackend backend;
    WaveInDevice device{1600, 8000, 1, 16, backend};
};

}  // namespace

TEST_F(WaveInDeviceTest, OpenQueuesSlotsZeroToThreeAndStartsCapture) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    EXPECT_TRUE(device.isOpen());
    EXPECT_TRUE(device.isStarted());
    ASSERT_TRUE(backend.last);
    const auto& log = *backend.last;
    EXPECT_EQ(log.direction, WaveDirection::Capture);
    EXPECT_EQ(log.callbackThread, sync::currentThreadId());
    EXPECT_EQ(log.format.formatTag, 1);
    EXPECT_EQ(log.format.channels, 1);
    EXPECT_EQ(log.format.samplesPerSecond, 8000u);
    EXPECT_EQ(log.format.averageBytesPerSecond, 16000u);
    EXPECT_EQ(log.format.blockAlignment, 2);
    EXPECT_EQ(log.format.bitsPerSample, 16);
    EXPECT_EQ(log.format.extraSize, 0);

    ASSERT_EQ(log.queued.size(), 4u);
    const uint8_t* base = device.header(0).data;
    for (uint32_t slot = 0; slot < 4; ++slot) {
        const WaveHeader& h = device.header(slot);
        EXPECT_EQ(log.queued[slot], &h);
        EXPECT_EQ(h.user, slot);
        EXPECT_EQ(h.bufferLength, kBytes);
        EXPECT_EQ(h.data, base + slot * kBytes);
        EXPECT_TRUE(h.has(WHDR_PREPARED));
    }
    EXPECT_EQ(log.count("prepare", &device.header(4)), 0);
    EXPECT_EQ(log.count("queue", &device.header(4)), 0);
    EXPECT_EQ(log.calls.back().what, "start");
    EXPECT_EQ(device.currentIndex(), 0u);
    EXPECT_EQ(device.currentData(), base);
}

TEST_F(WaveInDeviceTest, EachCompletionRequeuesTheSlotBeforeTheCurrentOne) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    // The fake writes nothing, so mark the data the backend "recorded".
    std::memset(device.header(0).data, 0x5A, kBytes);
    ASSERT_TRUE(backend.completeNext());
    std::vector<std::vector<uint8_t>> blocks;
    ASSERT_EQ(drainCompletions(device, &blocks), 1);
    EXPECT_EQ(blocks[0], std::vector<uint8_t>(kBytes, 0x5A));
    EXPECT_EQ(lastQueued(), &device.header(4));
    EXPECT_EQ(backend.last->count("unprepare", &device.header(0)), 1);
    EXPECT_EQ(device.currentIndex(), 1u);

    ASSERT_TRUE(backend.completeNext());
    ASSERT_EQ(drainCompletions(device), 1);
    EXPECT_EQ(lastQueued(), &device.header(0));
    EXPECT_EQ(device.header(0).bufferLength, kBytes);
    EXPECT_EQ(device.header(0).user, 0u);

    // The order carries on 1, 2, 3, 4, 0 with four buffers always queued.
    const uint32_t expected[] = {1, 2, 3, 4, 0, 1};
    for (uint32_t slot : expected) {
        ASSERT_TRUE(backend.completeNext());
        ASSERT_EQ(drainCompletions(device), 1);
        EXPECT_EQ(lastQueued(), &device.header(slot));
        EXPECT_EQ(backend.last->queued.size(), 4u);
    }
}

TEST_F(WaveInDeviceTest, CompletionWithoutTheDoneFlagIsIgnored) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    const int queuesBefore = backend.last->count("queue");
    ASSERT_TRUE(sync::postThreadMessage(sync::currentThreadId(), sync::MM_WIM_DATA, 0,
                                        reinterpret_cast<intptr_t>(&device.header(0))));
    EXPECT_EQ(drainCompletions(device), 0);
    EXPECT_EQ(device.currentIndex(), 0u);
    EXPECT_EQ(backend.last->count("queue"), queuesBefore);
    EXPECT_EQ(backend.last->count("unprepare"), 0);

    ASSERT_TRUE(backend.completeNext());
    EXPECT_EQ(drainCompletions(device), 1);
    EXPECT_EQ(device.currentIndex(), 1u);
}

TEST_F(WaveInDeviceTest, StopResetsOnceAndLaterCompletionsAreOnlyUnprepared) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    const int queuesBefore = backend.last->count("queue");
    device.stop();
    device.stop();
    EXPECT_EQ(backend.last->count("reset"), 1);
    // The reset returned all four buffers, each with its own completion.
    EXPECT_EQ(sync::pendingMessageCount(), 4u);
    EXPECT_EQ(drainCompletions(device), 4);
    EXPECT_EQ(backend.last->count("queue"), queuesBefore);
    EXPECT_GE(backend.last->count("unprepare"), 1);
    EXPECT_FALSE(device.header(0).has(WHDR_PREPARED));
    EXPECT_EQ(device.currentIndex(), 0u);
    EXPECT_TRUE(device.close());
}

TEST_F(WaveInDeviceTest, CloseReportsWhetherTheDeviceWasOpen) {
    EXPECT_FALSE(device.close());
    EXPECT_EQ(backend.queryCalls + backend.openCalls, 0);
    EXPECT_EQ(device.lastOpenResult(), MMSYSERR_BADDEVICEID);

    ASSERT_TRUE(device.open(sync::currentThreadId()));
    auto log = backend.last;
    EXPECT_TRUE(device.close());
    EXPECT_EQ(log->count("reset"), 1);
    EXPECT_EQ(log->count("close"), 1);
    EXPECT_TRUE(log->closed);
    EXPECT_TRUE(log->destroyed);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.isStarted());
    EXPECT_EQ(device.lastOpenResult(), MMSYSERR_BADDEVICEID);
    EXPECT_FALSE(device.close());
}

TEST_F(WaveInDeviceTest, UnsupportedFormatFailsAtOnceWithoutAnOpenAttempt) {
    backend.queryResult = WAVERR_BADFORMAT;
    const uint32_t start = tickCount();
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 100u);
    EXPECT_EQ(backend.queryCalls, 1);
    EXPECT_EQ(backend.openCalls, 0);
    EXPECT_FALSE(device.isOpen());
}

TEST_F(WaveInDeviceTest, BusyDeviceIsTriedEightTimesOverAboutTwoSeconds) {
    backend.openResult = MMSYSERR_ALLOCATED;
    const uint32_t start = tickCount();
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    const uint32_t elapsed = tickCount() - start;
    EXPECT_EQ(backend.openCalls, 8);
    EXPECT_GE(elapsed, 1950u);
    EXPECT_LT(elapsed, 2800u);
    EXPECT_EQ(device.lastOpenResult(), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.close());
}

TEST_F(WaveInDeviceTest, DeviceFreedDuringTheRetriesIsTaken) {
    backend.openScript = {MMSYSERR_ALLOCATED, MMSYSERR_ALLOCATED};
    const uint32_t start = tickCount();
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    EXPECT_GE(tickCount() - start, 480u);
    EXPECT_EQ(backend.openCalls, 3);
    EXPECT_EQ(backend.last->queued.size(), 4u);
}

TEST_F(WaveInDeviceTest, OpenAfterCloseStartsOverEvenAfterAStop) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    ASSERT_TRUE(backend.completeNext());
    drainCompletions(device);
    device.stop();
    drainCompletions(device);
    ASSERT_TRUE(device.close());

    ASSERT_TRUE(device.open(sync::currentThreadId()));
    ASSERT_EQ(backend.last->queued.size(), 4u);
    for (uint32_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(backend.last->queued[slot], &device.header(slot));
    }
    EXPECT_EQ(device.currentIndex(), 0u);
    // The stopping flag is clear again: a completion re-queues.
    ASSERT_TRUE(backend.completeNext());
    EXPECT_EQ(drainCompletions(device), 1);
    EXPECT_EQ(lastQueued(), &device.header(4));
}

TEST_F(WaveInDeviceTest, SecondOpenWithoutCloseDropsTheFirstStream) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    auto first = backend.last;
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    EXPECT_TRUE(first->destroyed);
    EXPECT_EQ(first->count("reset"), 1);
    EXPECT_NE(backend.last, first);
}

TEST(WaveInDeviceLifetime, DestructorResetsAndClosesAnOpenDevice) {
    sync::ensureMessageQueue();
    ScriptedWaveBackend backend;
    {
        WaveInDevice device(1600, 8000, 1, 16, backend);
        ASSERT_TRUE(device.open(sync::currentThreadId()));
    }
    ASSERT_TRUE(backend.last);
    EXPECT_EQ(backend.last->count("reset"), 1);
    EXPECT_TRUE(backend.last->closed);
    EXPECT_TRUE(backend.last->destroyed);
    sync::ThreadMessage m;
    while (sync::peekMessage(m)) {
    }
}
