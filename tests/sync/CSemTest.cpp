#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/Platform.h"
#include "sync/CSem.h"

using namespace ostrel::sync;
using ostrel::platform::tickCount;

TEST(CSem, OneShotSignalAcrossThreads) {
    CSem sem;
    ASSERT_EQ(sem.WaitOnSemaphore(kInfinite), 1);  // take it once
    std::atomic<bool> answered{false};
    std::thread answerer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        answered = true;
        sem.SignalSemaphore();
    });
    const uint32_t start = tickCount();
    ASSERT_EQ(sem.WaitOnSemaphore(kInfinite), 1);  // returns when the other thread signals
    EXPECT_TRUE(answered.load());
    EXPECT_GE(tickCount() - start, 90u);
    answerer.join();
}

// The one-shot waiter owns the semaphore and ends it as soon as its wait returns, while the
// signalling thread may still be inside SignalSemaphore (caught by the sanitizers).
TEST(CSem, WaiterMayDestroyTheSemaphoreRightAfterTheSignal) {
    for (int i = 0; i < 300; ++i) {
        std::atomic<CSem*> shared{nullptr};
        std::thread waiter([&] {
            auto sem = std::make_unique<CSem>();
            sem->WaitOnSemaphore(kInfinite);
            shared = sem.get();
            sem->WaitOnSemaphore(kInfinite);
        });  // destroyed here
        CSem* sem = nullptr;
        while ((sem = shared.load()) == nullptr) {
            std::this_thread::yield();
        }
        sem->SignalSemaphore();
        waiter.join();
    }
}

TEST(CSem, TimedWaitOnHeldSemaphoreFailsAtOnce) {
    CSem sem;
    ASSERT_EQ(sem.WaitOnSemaphore(kInfinite), 1);
    const uint32_t start = tickCount();
    EXPECT_EQ(sem.WaitOnSemaphore(0), 0);
    EXPECT_LT(tickCount() - start, 50u);

    EXPECT_EQ(sem.WaitOnSemaphore(150), 0);
    EXPECT_GE(tickCount() - start, 140u);
    sem.SignalSemaphore();
    EXPECT_EQ(sem.WaitOnSemaphore(0), 1);
}

TEST(CSem, OwnerIsTheUntimedWaiterUntilSignal) {
    CSem sem;
    EXPECT_EQ(sem.Owner(), 0u);
    ASSERT_EQ(sem.WaitOnSemaphore(kInfinite), 1);
    EXPECT_EQ(sem.Owner(), currentThreadId());
    sem.SignalSemaphore();
    EXPECT_EQ(sem.Owner(), 0u);

    // A timed wait does not change the owner.
    ASSERT_EQ(sem.WaitOnSemaphore(10), 1);
    EXPECT_EQ(sem.Owner(), 0u);
    sem.SignalSemaphore();
}

TEST(CSem, InitialCountAndMaximumOfOne) {
    CSem closed(0L);
    EXPECT_EQ(closed.WaitOnSemaphore(0), 0);
    closed.SignalSemaphore();
    EXPECT_EQ(closed.WaitOnSemaphore(0), 1);

    CSem open;
    open.SignalSemaphore();  // not held: fails silently, the count stays 1
    open.SignalSemaphore();
    EXPECT_EQ(open.WaitOnSemaphore(0), 1);
    EXPECT_EQ(open.WaitOnSemaphore(0), 0);
}

TEST(CSem, AssignmentSharesOneSemaphore) {
    CSem a;
    CSem b(0L);
    b = a;
    EXPECT_EQ(a.GetHandle(), b.GetHandle());
    ASSERT_EQ(a.WaitOnSemaphore(kInfinite), 1);
    EXPECT_EQ(b.WaitOnSemaphore(0), 0);
    EXPECT_EQ(b.Owner(), currentThreadId());
    b.SignalSemaphore();
    EXPECT_EQ(a.WaitOnSemaphore(0), 1);
}

TEST(CSem, NamedSemaphoreIsSharedBetweenProcesses) {
    const std::string name = "ostrel-test-sem-" + std::to_string(getpid());
    CSem::RemoveNamed(name.c_str());
    CSem sem(name.c_str());
    ASSERT_EQ(sem.WaitOnSemaphore(kInfinite), 1);

    const pid_t child = fork();
    if (child == 0) {
        CSem same(name.c_str());
        // Held by the parent: the child gets it only after the parent signals.
        const int early = same.WaitOnSemaphore(0);
        const int late = same.WaitOnSemaphore(3000);
        _exit(early == 0 && late == 1 ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sem.SignalSemaphore();
    int status = 0;
    waitpid(child, &status, 0);
    CSem::RemoveNamed(name.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
