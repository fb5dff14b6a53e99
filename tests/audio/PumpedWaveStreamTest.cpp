#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/PumpedWaveStream.h"
#include "sync/ThreadMessages.h"

using namespace ostrel;
using namespace ostrel::audio;

namespace {

constexpr size_t kPiece = 800;  // 50 ms at 8000 Hz mono 16-bit

// Counts what the pump does. Capture fills bytes with a running counter; playback keeps
// what it is given. With a limit, transfers beyond it wait until the test releases them.
class ManualEndpoint final : public SampleEndpoint {
public:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int begins = 0;
        int ends = 0;
        bool lastDrain = false;
        size_t pieces = 0;
        size_t largestPiece = 0;
        size_t limit = SIZE_MAX;  // pieces allowed before transfers wait
        bool waiting = false;
        std::vector<uint8_t> played;
        uint32_t counter = 0;
    };

    explicit ManualEndpoint(std::shared_ptr<State> state) : s_(std::move(state)) {}

    void begin() override {
        std::lock_guard lock(s_->mutex);
        ++s_->begins;
    }
    void transfer(uint8_t* data, size_t bytes) override {
        std::unique_lock lock(s_->mutex);
        s_->waiting = true;
        s_->changed.notify_all();
        s_->changed.wait(lock, [this] { return s_->pieces < s_->limit; });
        s_->waiting = false;
        ++s_->pieces;
        s_->largestPiece = std::max(s_->largestPiece, bytes);
        for (size_t i = 0; i < bytes; ++i) {
            s_->played.push_back(data[i]);
            data[i] = static_cast<uint8_t>(s_->counter++ % 251);
        }
    }
    void end(bool drain) override {
        std::lock_guard lock(s_->mutex);
        ++s_->ends;
        s_->lastDrain = drain;
    }

private:
    std::shared_ptr<State> s_;
};

// A clock-paced endpoint whose audio is due `delay` after each move; records each move's size.
class DelayedClockEndpoint final : public ClockedEndpoint {
public:
    struct State {
        std::mutex mutex;
        std::vector<size_t> moves;
        std::vector<RealTimePacer::Clock::time_point> dueTimes;
        int begins = 0;
        int ends = 0;
        bool lastDrain = true;
    };

    DelayedClockEndpoint(std::shared_ptr<State> state, RealTimePacer::Clock::duration delay)
        : s_(std::move(state)), delay_(delay) {}

    void begin() override {
        std::lock_guard lock(s_->mutex);
        ++s_->begins;
    }
    RealTimePacer::Clock::time_point move(uint8_t* data, size_t bytes) override {
        std::lock_guard lock(s_->mutex);
        for (size_t i = 0; i < bytes; ++i) {
            data[i] = static_cast<uint8_t>(0x40 + s_->moves.size());
        }
        s_->moves.push_back(bytes);
        const auto due = RealTimePacer::Clock::now() + delay_;
        s_->dueTimes.push_back(due);
        return due;
    }
    void end(bool drain) override {
        std::lock_guard lock(s_->mutex);
        ++s_->ends;
        s_->lastDrain = drain;
    }

private:
    std::shared_ptr<State> s_;
    RealTimePacer::Clock::duration delay_;
};

struct Buffer {
    std::vector<uint8_t> bytes;
    WaveHeader header;

    explicit Buffer(size_t size, uint8_t fill = 0) : bytes(size, fill) {
        header.data = bytes.data();
        header.bufferLength = static_cast<uint32_t>(size);
    }
};

class PumpedWaveStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        sync::ensureMessageQueue();
        drain();
    }
    void TearDown() override { drain(); }

    static void drain() {
        sync::ThreadMessage m;
        while (sync::peekMessage(m)) {
        }
    }

    std::unique_ptr<PumpedWaveStream> make(WaveDirection direction) {
        return std::make_unique<PumpedWaveStream>(direction, AudioFormat::pcm(8000, 1, 16),
                                                  std::make_unique<ManualEndpoint>(state),
                                                  sync::currentThreadId());
    }

    // Waits for a completion message; fails the test on a time-out.
    static sync::ThreadMessage next() {
        sync::ThreadMessage m;
        EXPECT_TRUE(sync::waitMessage(m, 2000));
        return m;
    }

    std::shared_ptr<ManualEndpoint::State> state = std::make_shared<ManualEndpoint::State>();
};

}  // namespace

TEST_F(PumpedWaveStreamTest, CaptureFillsQueuedBuffersInOrderOnceStarted) {
    auto stream = make(WaveDirection::Capture);
    Buffer a(2000), b(2000);  // two and a half pieces each
    ASSERT_EQ(stream->prepare(a.header), MMSYSERR_NOERROR);
    ASSERT_EQ(stream->prepare(b.header), MMSYSERR_NOERROR);
    ASSERT_EQ(stream->queue(a.header), MMSYSERR_NOERROR);
    ASSERT_EQ(stream->queue(b.header), MMSYSERR_NOERROR);
    EXPECT_TRUE(a.header.has(WHDR_INQUEUE));
    sync::ThreadMessage m;
    EXPECT_FALSE(sync::waitMessage(m, 50));  // nothing moves before start

    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    for (Buffer* expected : {&a, &b}) {
        m = next();
        EXPECT_EQ(m.message, sync::MM_WIM_DATA);
        EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&expected->header));
        EXPECT_EQ(m.wParam, reinterpret_cast<uintptr_t>(stream.get()));
        EXPECT_TRUE(expected->header.has(WHDR_DONE));
        EXPECT_FALSE(expected->header.has(WHDR_INQUEUE));
        EXPECT_TRUE(expected->header.has(WHDR_PREPARED));
        EXPECT_EQ(expected->header.bytesRecorded, 2000u);
    }
    for (size_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(a.bytes[i], i % 251) << i;
        ASSERT_EQ(b.bytes[i], (2000 + i) % 251) << i;
    }
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->begins, 1);
    EXPECT_EQ(state->largestPiece, kPiece);
}

TEST_F(PumpedWaveStreamTest, HeaderRulesAndClose) {
    auto stream = make(WaveDirection::Capture);
    Buffer a(640);
    EXPECT_EQ(stream->queue(a.header), WAVERR_UNPREPARED);
    ASSERT_EQ(stream->prepare(a.header), MMSYSERR_NOERROR);
    ASSERT_EQ(stream->queue(a.header), MMSYSERR_NOERROR);
    EXPECT_EQ(stream->queue(a.header), MMSYSERR_INVALPARAM);
    EXPECT_EQ(stream->unprepare(a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(stream->close(), WAVERR_STILLPLAYING);

    ASSERT_EQ(stream->reset(), MMSYSERR_NOERROR);
    // Not started, so the buffer comes back empty.
    sync::ThreadMessage m = next();
    EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&a.header));
    EXPECT_EQ(a.header.bytesRecorded, 0u);
    EXPECT_TRUE(a.header.has(WHDR_DONE));
    EXPECT_EQ(stream->unprepare(a.header), MMSYSERR_NOERROR);
    EXPECT_FALSE(a.header.has(WHDR_PREPARED));
    EXPECT_EQ(stream->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(stream->prepare(a.header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(stream->reset(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(stream->close(), MMSYSERR_INVALHANDLE);
}

TEST_F(PumpedWaveStreamTest, ResetReturnsEveryBufferAndKeepsWhatWasRecorded) {
    state->limit = 2;
    auto stream = make(WaveDirection::Capture);
    Buffer a(3200), b(3200), c(3200);
    for (Buffer* x : {&a, &b, &c}) {
        stream->prepare(x->header);
        stream->queue(x->header);
    }
    stream->start();
    {
        // Two pieces done, the third one held inside the endpoint.
        std::unique_lock lock(state->mutex);
        ASSERT_TRUE(state->changed.wait_for(lock, std::chrono::seconds(2),
                                            [&] { return state->pieces == 2 && state->waiting; }));
    }
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(state->mutex);
        state->limit = SIZE_MAX;
        state->changed.notify_all();
    });
    ASSERT_EQ(stream->reset(), MMSYSERR_NOERROR);
    releaser.join();
    // The piece under way is finished; nothing more is recorded after the reset.
    EXPECT_EQ(a.header.bytesRecorded, 3u * kPiece);
    EXPECT_EQ(b.header.bytesRecorded, 0u);
    EXPECT_EQ(c.header.bytesRecorded, 0u);
    for (Buffer* expected : {&a, &b, &c}) {
        sync::ThreadMessage m = next();
        EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&expected->header));
        EXPECT_TRUE(expected->header.has(WHDR_DONE));
    }
    {
        std::lock_guard lock(state->mutex);
        EXPECT_EQ(state->ends, 1);
        EXPECT_FALSE(state->lastDrain);
    }
    // A reset stops capture: a new buffer waits for the next start.
    Buffer d(640);
    stream->prepare(d.header);
    stream->queue(d.header);
    sync::ThreadMessage m;
    EXPECT_FALSE(sync::waitMessage(m, 50));
    stream->start();
    m = next();
    EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&d.header));
    EXPECT_EQ(d.header.bytesRecorded, 640u);
}

TEST_F(PumpedWaveStreamTest, PlaybackPlaysEachBufferOnceInOrderAndDrainsOnClose) {
    auto stream = make(WaveDirection::Playback);
    Buffer a(3200, 1), b(1000, 2), c(3200, 3);
    for (Buffer* x : {&a, &b, &c}) {
        ASSERT_EQ(stream->prepare(x->header), MMSYSERR_NOERROR);
        ASSERT_EQ(stream->queue(x->header), MMSYSERR_NOERROR);
    }
    for (Buffer* expected : {&a, &b, &c}) {
        sync::ThreadMessage m = next();
        EXPECT_EQ(m.message, sync::MM_WOM_DONE);
        EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&expected->header));
    }
    ASSERT_EQ(stream->close(), MMSYSERR_NOERROR);
    std::lock_guard lock(state->mutex);
    std::vector<uint8_t> expected(3200, 1);
    expected.insert(expected.end(), 1000, 2);
    expected.insert(expected.end(), 3200, 3);
    EXPECT_EQ(state->played, expected);
    EXPECT_EQ(state->begins, 1);
    EXPECT_EQ(state->ends, 1);
    EXPECT_TRUE(state->lastDrain);
}

TEST_F(PumpedWaveStreamTest, DestroyingAnOpenStreamReturnsItsBuffers) {
    state->limit = 1;
    auto stream = make(WaveDirection::Playback);
    Buffer a(3200), b(3200);
    stream->prepare(a.header);
    stream->queue(a.header);
    stream->prepare(b.header);
    stream->queue(b.header);
    {
        std::unique_lock lock(state->mutex);
        ASSERT_TRUE(state->changed.wait_for(lock, std::chrono::seconds(2),
                                            [&] { return state->pieces == 1 && state->waiting; }));
    }
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(state->mutex);
        state->limit = SIZE_MAX;
        state->changed.notify_all();
    });
    stream.reset();
    releaser.join();
    EXPECT_TRUE(a.header.has(WHDR_DONE));
    EXPECT_TRUE(b.header.has(WHDR_DONE));
    EXPECT_EQ(sync::pendingMessageCount(), 2u);
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->ends, 1);
}

namespace {

std::unique_ptr<PumpedWaveStream> makeClocked(WaveDirection direction,
                                              std::shared_ptr<DelayedClockEndpoint::State> state,
                                              RealTimePacer::Clock::duration delay) {
    return std::make_unique<PumpedWaveStream>(
        direction, AudioFormat::pcm(8000, 1, 16),
        std::make_unique<DelayedClockEndpoint>(std::move(state), delay), sync::currentThreadId());
}

}  // namespace

TEST_F(PumpedWaveStreamTest, ClockedEndpointMovesWholeBuffersAndEachCompletesWhenDue) {
    auto clock = std::make_shared<DelayedClockEndpoint::State>();
    auto stream = makeClocked(WaveDirection::Capture, clock, std::chrono::milliseconds(60));
    Buffer a(3200), b(1000);
    for (Buffer* x : {&a, &b}) {
        stream->prepare(x->header);
        stream->queue(x->header);
    }
    stream->start();
    std::vector<RealTimePacer::Clock::time_point> arrivals;
    for (Buffer* expected : {&a, &b}) {
        sync::ThreadMessage m = next();
        arrivals.push_back(RealTimePacer::Clock::now());
        EXPECT_EQ(m.message, sync::MM_WIM_DATA);
        EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&expected->header));
        EXPECT_EQ(expected->header.bytesRecorded, expected->bytes.size());
    }
    EXPECT_EQ(a.bytes, std::vector<uint8_t>(3200, 0x40));
    EXPECT_EQ(b.bytes, std::vector<uint8_t>(1000, 0x41));
    std::lock_guard lock(clock->mutex);
    // One move per buffer, however long, and no buffer is handed back before its audio is due.
    EXPECT_EQ(clock->moves, (std::vector<size_t>{3200, 1000}));
    ASSERT_EQ(clock->dueTimes.size(), 2u);
    EXPECT_GE(arrivals[0], clock->dueTimes[0]);
    EXPECT_GE(arrivals[1], clock->dueTimes[1]);
    EXPECT_EQ(clock->begins, 1);
}

TEST_F(PumpedWaveStreamTest, ResetCutsAClockedWaitShortAndKeepsTheMovedBuffer) {
    auto clock = std::make_shared<DelayedClockEndpoint::State>();
    // Audio due an hour after it moved: only the reset can end the wait.
    auto stream = makeClocked(WaveDirection::Playback, clock, std::chrono::hours(1));
    Buffer a(3200, 7), b(3200, 8);
    for (Buffer* x : {&a, &b}) {
        stream->prepare(x->header);
        stream->queue(x->header);
    }
    for (;;) {
        {
            std::lock_guard lock(clock->mutex);
            if (!clock->moves.empty()) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto reset = std::async(std::launch::async, [&] { return stream->reset(); });
    ASSERT_EQ(reset.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(reset.get(), MMSYSERR_NOERROR);
    for (Buffer* expected : {&a, &b}) {
        sync::ThreadMessage m = next();
        EXPECT_EQ(m.message, sync::MM_WOM_DONE);
        EXPECT_EQ(m.lParam, reinterpret_cast<intptr_t>(&expected->header));
        EXPECT_TRUE(expected->header.has(WHDR_DONE));
        EXPECT_FALSE(expected->header.has(WHDR_INQUEUE));
    }
    {
        std::lock_guard lock(clock->mutex);
        EXPECT_EQ(clock->moves, std::vector<size_t>{3200});  // the second was never played
        EXPECT_EQ(clock->ends, 1);
        EXPECT_FALSE(clock->lastDrain);
    }
    EXPECT_EQ(stream->close(), MMSYSERR_NOERROR);
}
