#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "sync/CWorkerThread.h"
#include "sync/ThreadMessages.h"

using namespace ostrel::sync;

TEST(CWorkerThread, StartWaitsForTheBodyToSignal) {
    std::atomic<bool> setUp{false};
    std::atomic<bool> release{false};
    CWorkerThread* self = nullptr;
    CWorkerThread worker(
        [&](void*) -> uint32_t {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            setUp = true;
            self->SignalStarted();
            while (!release) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return 0;
        },
        nullptr, "Handshake Thread");
    self = &worker;
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_TRUE(worker.Start(true));
    EXPECT_TRUE(setUp.load());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_TRUE(worker.HasStarted());
    EXPECT_EQ(worker.Wait(50), WaitResult::TimedOut);
    release = true;
    EXPECT_EQ(worker.Wait(kInfinite), WaitResult::Signaled);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(worker.HasStarted());
    // The thread has ended and its handle is gone.
    EXPECT_EQ(worker.Wait(kInfinite), WaitResult::Failed);
    EXPECT_FALSE(worker.Start(false));
}

TEST(CWorkerThread, MessagePostedRightAfterStartIsReceived) {
    std::atomic<uint32_t> received{0};
    std::atomic<intptr_t> param{0};
    CWorkerThread* self = nullptr;
    CWorkerThread worker(
        [&](void*) -> uint32_t {
            ensureMessageQueue();
            self->SignalStarted();
            ThreadMessage m;
            while (getMessage(m)) {
                if (m.message == WM_USER + 2) {
                    received = m.message;
                    param = m.lParam;
                    break;
                }
            }
            return 0;
        },
        nullptr, "Queue Thread");
    self = &worker;
    ASSERT_TRUE(worker.Start(true));
    EXPECT_TRUE(postThreadMessage(worker.GetThreadId(), WM_USER + 2, 0, 42));
    // The thread ends as soon as it has the message; if that happens before Wait is called,
    // Wait answers Failed at once. Either way it must not time out.
    EXPECT_NE(worker.Wait(5000), WaitResult::TimedOut);
    EXPECT_EQ(received.load(), WM_USER + 2);
    EXPECT_EQ(param.load(), 42);
    // Its queue went with the thread.
    EXPECT_FALSE(postThreadMessage(worker.GetThreadId(), WM_USER + 2));
}

TEST(CWorkerThread, WaitOnANeverStartedThreadFails) {
    CWorkerThread worker([](void*) -> uint32_t { return 0; }, nullptr, "Idle");
    EXPECT_EQ(worker.Wait(1000), WaitResult::Failed);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(worker.HasStarted());
}

TEST(CWorkerThread, ArgumentAndNameReachTheThread) {
    int value = 7;
    std::atomic<int> seen{0};
    CWorkerThread worker(
        [&](void* arg) -> uint32_t {
            seen = *static_cast<int*>(arg);
            return 0;
        },
        &value, std::string(300, 'n'));
    EXPECT_EQ(worker.Name().size(), 255u);
    ASSERT_TRUE(worker.Start(false));
    worker.Wait(kInfinite);
    EXPECT_EQ(seen.load(), 7);
}

TEST(CWorkerThread, DeleteOnExitFreesTheWrapper) {
    // The body signals and returns at once, so the wrapper is deleted while Start may still be
    // finishing; the sanitizer builds catch a use after free or a leak here.
    std::atomic<int> ended{0};
    std::vector<std::unique_ptr<CWorkerThread*>> cells;
    for (int i = 0; i < 50; ++i) {
        auto cell = std::make_unique<CWorkerThread*>(nullptr);
        auto* worker = new CWorkerThread(
            [&ended](void* arg) -> uint32_t {
                (*static_cast<CWorkerThread**>(arg))->SignalStarted();
                ended.fetch_add(1);
                return 0;
            },
            cell.get(), "Self Deleting", true);
        *cell = worker;
        ASSERT_TRUE(worker->Start(i % 2 == 0));
        cells.push_back(std::move(cell));
    }
    for (int i = 0; i < 500 && ended.load() < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(ended.load(), 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the wrappers go
}

namespace {
std::atomic<int> hookRuns{0};
std::atomic<ThreadId> hookThread{0};
void recordHook() {
    hookThread = currentThreadId();
    ++hookRuns;
}
}  // namespace

TEST(CWorkerThread, StartHookRunsOnTheNewThreadBeforeTheProcedure) {
    hookRuns = 0;
    CWorkerThread::SetStartHook(recordHook);
    std::atomic<int> runsSeenByBody{-1};
    std::atomic<ThreadId> bodyThread{0};
    CWorkerThread worker(
        [&](void*) -> uint32_t {
            runsSeenByBody = hookRuns.load();
            bodyThread = currentThreadId();
            return 0;
        },
        nullptr, "Hook Thread");
    ASSERT_TRUE(worker.Start(false));
    worker.Wait(kInfinite);  // Signaled, or Failed when it has ended already
    CWorkerThread::SetStartHook(nullptr);
    EXPECT_EQ(runsSeenByBody.load(), 1);
    EXPECT_EQ(hookThread.load(), bodyThread.load());
    EXPECT_NE(hookThread.load(), currentThreadId());

    CWorkerThread unhooked([](void*) -> uint32_t { return 0; }, nullptr, "No Hook Thread");
    ASSERT_TRUE(unhooked.Start(false));
    unhooked.Wait(kInfinite);
    EXPECT_EQ(hookRuns.load(), 1);
}
