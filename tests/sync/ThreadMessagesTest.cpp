#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Platform.h"
#include "sync/ThreadMessages.h"

using namespace ostrel::sync;
using ostrel::platform::tickCount;

TEST(ThreadMessages, PostingNeedsAQueue) {
    std::atomic<ThreadId> id{0};
    std::atomic<bool> haveQueue{false};
    std::atomic<bool> done{false};
    std::atomic<int> got{0};
    std::thread t([&] {
        id = currentThreadId();
        while (!haveQueue) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ensureMessageQueue();
        done = true;
        ThreadMessage m;
        while (getMessage(m)) {
            got += static_cast<int>(m.wParam);
        }
    });
    while (id == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(postThreadMessage(id, WM_USER, 1));
    haveQueue = true;
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(postThreadMessage(id, WM_USER, 2));
    EXPECT_TRUE(postThreadMessage(id, WM_USER, 3));
    EXPECT_TRUE(postThreadMessage(id, WM_QUIT));
    t.join();
    EXPECT_EQ(got.load(), 5);
    EXPECT_FALSE(hasMessageQueue(id));
    EXPECT_FALSE(postThreadMessage(id, WM_USER, 4));
}

TEST(ThreadMessages, OrderPeekAndTimedWait) {
    ensureMessageQueue();
    const ThreadId self = currentThreadId();
    ThreadMessage m;
    EXPECT_FALSE(peekMessage(m));
    ASSERT_TRUE(postThreadMessage(self, MM_WIM_DATA, 0, 11));
    ASSERT_TRUE(postThreadMessage(self, MM_WOM_DONE, 0, 22));
    EXPECT_EQ(pendingMessageCount(), 2u);
    ASSERT_TRUE(peekMessage(m, false));
    EXPECT_EQ(m.message, MM_WIM_DATA);
    ASSERT_TRUE(peekMessage(m));
    EXPECT_EQ(m.lParam, 11);
    ASSERT_TRUE(waitMessage(m, 0));
    EXPECT_EQ(m.message, MM_WOM_DONE);
    EXPECT_EQ(m.lParam, 22);

    const uint32_t start = tickCount();
    EXPECT_FALSE(waitMessage(m, 100));
    EXPECT_GE(tickCount() - start, 95u);
    destroyMessageQueue();
    EXPECT_FALSE(hasMessageQueue(self));
}

TEST(ThreadMessages, ManyProducersLoseNothing) {
    std::atomic<ThreadId> consumer{0};
    std::atomic<long> sum{0};
    std::thread c([&] {
        ensureMessageQueue();
        consumer = currentThreadId();
        ThreadMessage m;
        while (getMessage(m)) {
            sum += static_cast<long>(m.wParam);
        }
    });
    while (consumer == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&] {
            for (int i = 1; i <= 1000; ++i) {
                postThreadMessage(consumer, WM_USER, static_cast<uintptr_t>(i));
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
    postThreadMessage(consumer, WM_QUIT);
    c.join();
    EXPECT_EQ(sum.load(), 4L * 1000 * 1001 / 2);
}
