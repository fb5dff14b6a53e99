#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/WaveOutDevice.h"
#include "platform/Platform.h"
#include "sync/ThreadMessages.h"
#include "tests/audio/ScriptedWaveBackend.h"

using namespace ostrel::audio;
using ostrel::audio::testing::ScriptedWaveBackend;
using ostrel::platform::tickCount;
using namespace ostrel;

namespace {

constexpr uint32_t kBytes = 3200;

std::vector<uint8_t> block(uint8_t fill) {
    return std::vector<uint8_t>(kBytes, fill);
}

class WaveOutDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sync::ensureMessageQueue();
        sync::ThreadMessage m;
        while (sync::peekMessage(m)) {
        }
    }

    // The callback loop of the owners: every MM_WOM_DONE releases the oldest slot.
    int releaseCompleted() {
        int released = 0;
        sync::ThreadMessage m;
        while (sync::peekMessage(m)) {
            if (m.message == sync::MM_WOM_DONE) {
                device.releaseOldest();
                ++released;
            }
        }
        return released;
    }

    ScriptedWaveBackend backend;
    int silenced = 0;
    WaveOutDevice device{1600, 8000, 1, 16, backend, [this] { ++silenced; }};
};

}  // namespace

TEST_F(WaveOutDeviceTest, RingTakesFourBuffersAndRefusesTheFifth) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    EXPECT_TRUE(device.isStarted());
    for (uint8_t i = 1; i <= 4; ++i) {
        EXPECT_TRUE(device.write(block(i).data())) << int(i);
    }
    EXPECT_FALSE(device.write(block(5).data()));
    EXPECT_EQ(device.queuedCount(), 4u);
    ASSERT_EQ(backend.last->queued.size(), 4u);
    // Each slot holds a copy of what was written, in order.
    for (uint8_t i = 0; i < 4; ++i) {
        const WaveHeader* h = backend.last->queued[i];
        EXPECT_EQ(h->bufferLength, kBytes);
        EXPECT_TRUE(h->has(WHDR_PREPARED));
        EXPECT_EQ(std::vector<uint8_t>(h->data, h->data + kBytes), block(i + 1));
    }

    ASSERT_TRUE(backend.completeNext());
    EXPECT_EQ(releaseCompleted(), 1);
    EXPECT_EQ(device.queuedCount(), 3u);
    EXPECT_TRUE(device.write(block(6).data()));
    EXPECT_FALSE(device.write(block(7).data()));
    // The released slot is the first one written.
    ASSERT_EQ(backend.last->count("unprepare"), 1);
    const WaveHeader* released = nullptr;
    for (const auto& call : backend.last->calls) {
        if (call.what == "unprepare") {
            released = call.header;
        }
    }
    ASSERT_NE(released, nullptr);
    EXPECT_EQ(released->data[0], 1);
    EXPECT_FALSE(released->has(WHDR_PREPARED));
}

TEST_F(WaveOutDeviceTest, DeviceThatIsNotOpenStillTakesFourBuffers) {
    EXPECT_FALSE(device.isOpen());
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(device.write(block(1).data()));
    }
    EXPECT_FALSE(device.write(block(1).data()));
    EXPECT_FALSE(device.close());
    EXPECT_EQ(device.queuedCount(), 0u);
}

TEST_F(WaveOutDeviceTest, StopResetsOnceAndCloseEmptiesTheRing) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    ASSERT_TRUE(device.write(block(1).data()));
    ASSERT_TRUE(device.write(block(2).data()));
    device.stop();
    device.stop();
    auto log = backend.last;
    EXPECT_EQ(log->count("reset"), 1);
    EXPECT_TRUE(log->queued.empty());
    EXPECT_EQ(sync::pendingMessageCount(), 2u);
    EXPECT_TRUE(device.close());
    EXPECT_TRUE(log->closed);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.lastOpenResult(), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(device.queuedCount(), 0u);
    EXPECT_FALSE(device.close());
}

TEST_F(WaveOutDeviceTest, OpenAfterCloseStartsWithAnEmptyRing) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(device.write(block(1).data()));
    }
    device.stop();
    ASSERT_TRUE(device.close());
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(device.write(block(2).data()));
    }
    EXPECT_FALSE(device.write(block(2).data()));
    // Stopping works again: the flag was cleared by the open.
    device.stop();
    EXPECT_EQ(backend.last->count("reset"), 1);
}

TEST_F(WaveOutDeviceTest, CloseWhilePlayingIsRefusedAndTheDestructorCleansUp) {
    std::shared_ptr<ostrel::audio::testing::ScriptedStreamLog> log;
    {
        WaveOutDevice local(1600, 8000, 1, 16, backend, [] {});
        ASSERT_TRUE(local.open(sync::currentThreadId()));
        ASSERT_TRUE(local.write(block(1).data()));
        log = backend.last;
        EXPECT_FALSE(local.close());
        EXPECT_TRUE(local.isOpen());
        EXPECT_FALSE(log->closed);
    }
    EXPECT_EQ(log->count("reset"), 1);
    EXPECT_TRUE(log->closed);
    EXPECT_TRUE(log->destroyed);
}

TEST_F(WaveOutDeviceTest, StrayCompletionDoesNotWedgeTheRing) {
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    device.releaseOldest();
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(device.write(block(1).data()));
    }
    EXPECT_EQ(device.queuedCount(), 4u);
}

TEST_F(WaveOutDeviceTest, UnsupportedFormatFailsAtOnceWithoutSilencingAlerts) {
    backend.queryResult = WAVERR_BADFORMAT;
    const uint32_t start = tickCount();
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 100u);
    EXPECT_EQ(backend.openCalls, 0);
    EXPECT_EQ(silenced, 0);
}

TEST_F(WaveOutDeviceTest, BusyDeviceIsTriedEightTimesSilencingAlertsAfterEach) {
    backend.openResult = MMSYSERR_ALLOCATED;
    const uint32_t start = tickCount();
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    const uint32_t elapsed = tickCount() - start;
    EXPECT_EQ(backend.openCalls, 8);
    EXPECT_EQ(silenced, 8);
    EXPECT_GE(elapsed, 1950u);
    EXPECT_LT(elapsed, 2800u);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.close());
}

TEST_F(WaveOutDeviceTest, SilencedAlertFreesTheDeviceForTheNextAttempt) {
    backend.openScript = {MMSYSERR_ALLOCATED};
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    EXPECT_EQ(backend.openCalls, 2);
    EXPECT_EQ(silenced, 1);
}

// Producer and callback on different threads, as in the engine: the lock keeps head and tail
// consistent, so every block is played once and in order.
TEST(WaveOutDeviceThreads, ProducerAndCallbackThreadsShareTheRing) {
    ScriptedWaveBackend backend;
    WaveOutDevice device(1600, 8000, 1, 16, backend, [] {});
    sync::ensureMessageQueue();
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    constexpr int kBlocks = 200;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < kBlocks;) {
            std::vector<uint8_t> b = block(static_cast<uint8_t>(i));
            if (device.write(b.data())) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
        done = true;
    });
    // This thread plays the backend and the callback thread at once. The fake is not
    // thread-safe, so it is only touched between writes, under the device's own lock.
    std::vector<uint8_t> played;
    while (played.size() < kBlocks) {
        device.WaitOnSemaphore(sync::kInfinite);
        const bool any = !backend.last->queued.empty();
        if (any) {
            played.push_back(backend.last->queued.front()->data[0]);
            backend.completeNext();
        }
        device.SignalSemaphore();
        sync::ThreadMessage m;
        while (sync::peekMessage(m)) {
            device.releaseOldest();
        }
    }
    producer.join();
    ASSERT_EQ(played.size(), static_cast<size_t>(kBlocks));
    for (int i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(played[i], static_cast<uint8_t>(i));
    }
    device.stop();
    EXPECT_TRUE(device.close());
}
