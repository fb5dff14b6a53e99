#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sync/CSWMRG.h"

using namespace ostrel::sync;
using namespace std::chrono_literals;

TEST(CSWMRG, WriterWaitsForBothReaders) {
    CSWMRG guard;
    ASSERT_TRUE(guard.Initialize());
    ASSERT_EQ(guard.WaitToRead(), WaitResult::Signaled);
    std::atomic<bool> secondInside{false};
    std::atomic<bool> releaseSecond{false};
    std::thread second([&] {
        guard.WaitToRead();
        secondInside = true;
        while (!releaseSecond) {
            std::this_thread::sleep_for(1ms);
        }
        guard.DoneReading();
    });
    while (!secondInside) {
        std::this_thread::sleep_for(1ms);
    }

    std::atomic<bool> writing{false};
    std::thread writer([&] {
        guard.WaitToWrite();
        writing = true;
        guard.DoneWriting();
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(writing.load());  // two readers inside
    guard.DoneReading();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(writing.load());  // one reader left
    releaseSecond = true;
    writer.join();
    second.join();
    EXPECT_TRUE(writing.load());
}

TEST(CSWMRG, WriterKeepsReadersOutAndTimesOut) {
    CSWMRG guard;
    ASSERT_TRUE(guard.Initialize());
    ASSERT_EQ(guard.WaitToWrite(), WaitResult::Signaled);
    std::thread other([&] {
        EXPECT_EQ(guard.WaitToRead(50), WaitResult::TimedOut);
        EXPECT_EQ(guard.WaitToWrite(50), WaitResult::TimedOut);
    });
    other.join();
    guard.DoneWriting();
    std::thread again([&] {
        EXPECT_EQ(guard.WaitToRead(50), WaitResult::Signaled);
        guard.DoneReading();
    });
    again.join();
}

TEST(CSWMRG, WriteLockIsReentrant) {
    CSWMRG guard;
    ASSERT_TRUE(guard.Initialize());
    ASSERT_EQ(guard.WaitToWrite(), WaitResult::Signaled);
    ASSERT_EQ(guard.WaitToWrite(), WaitResult::Signaled);
    // The holder may also walk the list as a reader.
    ASSERT_EQ(guard.WaitToRead(), WaitResult::Signaled);
    guard.DoneReading();
    guard.DoneWriting();
    std::thread blocked([&] { EXPECT_EQ(guard.WaitToWrite(50), WaitResult::TimedOut); });
    blocked.join();
    guard.DoneWriting();
    std::thread free([&] {
        EXPECT_EQ(guard.WaitToWrite(50), WaitResult::Signaled);
        guard.DoneWriting();
    });
    free.join();
}

TEST(CSWMRG, LongNamesAreRefused) {
    CSWMRG tooLong;
    EXPECT_FALSE(tooLong.Initialize(std::string(90, 'x').c_str()));
    CSWMRG atLimit;
    // "SWMRGEventNoReaders" (19) + 80 = 99 characters: still under 100.
    std::string name = "ostrel-limit-" + std::to_string(getpid());
    name.resize(80, 'z');
    EXPECT_TRUE(atLimit.Initialize(name.c_str()));
    name.push_back('z');
    CSWMRG overLimit;
    EXPECT_FALSE(overLimit.Initialize(name.c_str()));
    CSWMRG unusable;
    EXPECT_EQ(unusable.WaitToRead(0), WaitResult::Failed);
}

TEST(CSWMRG, NamedGuardIsSharedBetweenProcesses) {
    const std::string name = "ostrel-test-guard-" + std::to_string(getpid());
    CSWMRG guard;
    ASSERT_TRUE(guard.Initialize(name.c_str()));
    ASSERT_EQ(guard.WaitToWrite(), WaitResult::Signaled);

    int toChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    if (child == 0) {
        CSWMRG same;
        if (!same.Initialize(name.c_str())) {
            _exit(10);
        }
        // The parent writes: the child can neither read nor write.
        if (same.WaitToRead(100) != WaitResult::TimedOut) {
            _exit(11);
        }
        if (same.WaitToWrite(100) != WaitResult::TimedOut) {
            _exit(12);
        }
        char go = 0;
        if (read(toChild[0], &go, 1) != 1) {
            _exit(13);
        }
        if (same.WaitToWrite(3000) != WaitResult::Signaled) {
            _exit(14);
        }
        same.DoneWriting();
        _exit(0);
    }
    std::this_thread::sleep_for(400ms);
    guard.DoneWriting();
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    close(toChild[0]);
    close(toChild[1]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CSWMRG, ScopedLocks) {
    CSWMRG guard;
    ASSERT_TRUE(guard.Initialize());
    {
        ReadLock a(guard);
        ReadLock b(guard);
    }
    {
        WriteLock w(guard);
        WriteLock again(guard);
    }
    EXPECT_EQ(guard.WaitToWrite(0), WaitResult::Signaled);
    guard.DoneWriting();
}
