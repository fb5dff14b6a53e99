#include "fault/MemoryProbe.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "fault/ThreadStacks.h"

using namespace ostrel::fault;

namespace {

// A read-write page followed by a read-only one and an inaccessible one.
struct Pages {
    Pages() {
        size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        base = static_cast<char*>(
            mmap(nullptr, 3 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::memset(base, 0x5A, 2 * size);
        mprotect(base + size, size, PROT_READ);
        mprotect(base + 2 * size, size, PROT_NONE);
    }
    ~Pages() { munmap(base, 3 * size); }
    uintptr_t at(size_t offset) const { return reinterpret_cast<uintptr_t>(base) + offset; }
    char* base;
    size_t size;
};

}  // namespace

TEST(MemoryProbe, ReadsOnlyReadableMemory) {
    MemoryProbe probe;
    ASSERT_TRUE(probe.usable());
    Pages pages;
    const uint64_t words[2] = {0x1122334455667788, 0x99AABBCCDDEEFF00};
    uint64_t copy[2] = {};
    EXPECT_TRUE(probe.read(reinterpret_cast<uintptr_t>(words), copy, sizeof copy));
    EXPECT_EQ(copy[1], words[1]);

    EXPECT_TRUE(probe.read(pages.at(pages.size + 8), copy, 16));  // read-only is readable
    EXPECT_FALSE(probe.read(pages.at(2 * pages.size), copy, 16));
    EXPECT_FALSE(probe.read(pages.at(2 * pages.size - 8), copy, 16)) << "half inaccessible";
    EXPECT_FALSE(probe.read(0, copy, 16));
    EXPECT_FALSE(probe.read(0xFFFF800000000000, copy, 16));
    EXPECT_FALSE(probe.read(~uintptr_t{0} - 4, copy, 16)) << "wraps around";
    EXPECT_FALSE(probe.read(reinterpret_cast<uintptr_t>(words), copy, 0));
    EXPECT_FALSE(probe.read(reinterpret_cast<uintptr_t>(words), copy, MemoryProbe::kMaxBytes + 1));
    // A failed check leaves nothing behind in the pipe for the next one.
    EXPECT_TRUE(probe.read(reinterpret_cast<uintptr_t>(words), copy, sizeof copy));
    EXPECT_EQ(copy[0], words[0]);
}

TEST(MemoryProbe, WritableCheckLeavesTheBytesAsTheyWere) {
    MemoryProbe probe;
    Pages pages;
    uint64_t words[2] = {0x0102030405060708, 0x1112131415161718};
    EXPECT_TRUE(probe.readWrite(reinterpret_cast<uintptr_t>(words), sizeof words));
    EXPECT_EQ(words[0], 0x0102030405060708u);
    EXPECT_EQ(words[1], 0x1112131415161718u);
    EXPECT_FALSE(probe.readWrite(pages.at(pages.size + 8), 16));
    EXPECT_FALSE(probe.readWrite(pages.at(pages.size - 8), 16)) << "half read-only";
    EXPECT_EQ(static_cast<unsigned char>(pages.base[pages.size - 8]), 0x5Au);
    EXPECT_FALSE(probe.readWrite(pages.at(2 * pages.size), 16));
    EXPECT_TRUE(probe.readWrite(pages.at(16), 16));
    EXPECT_EQ(static_cast<unsigned char>(pages.base[16]), 0x5Au);
}

TEST(ThreadStacks, FindOverflowsInTheGuardBelowAKnownStack) {
    ThreadStacks stacks;
    const uintptr_t low = 0x7F0000100000;
    const uintptr_t high = 0x7F0000900000;
    ASSERT_TRUE(stacks.add(42, low, high, 0x1000));
    const uintptr_t farSp = high - 0x100;  // the stack pointer says nothing here
    EXPECT_TRUE(stacks.isOverflow(42, low - 8, farSp));
    EXPECT_TRUE(stacks.isOverflow(42, low - 0x1000, farSp));
    EXPECT_FALSE(stacks.isOverflow(42, low - 0x1001, farSp));
    EXPECT_FALSE(stacks.isOverflow(42, low, farSp));
    EXPECT_FALSE(stacks.isOverflow(43, low - 8, farSp)) << "another thread's stack";
    stacks.remove(42);
    EXPECT_FALSE(stacks.isOverflow(42, low - 8, farSp));
}

TEST(ThreadStacks, TakeAFaultNextToTheStackPointerForAnOverflow) {
    ThreadStacks stacks;
    const uintptr_t sp = 0x7FFC00010000;
    EXPECT_TRUE(stacks.isOverflow(7, sp - 8, sp));
    EXPECT_TRUE(stacks.isOverflow(7, sp + 64, sp));
    EXPECT_TRUE(stacks.isOverflow(7, sp - ThreadStacks::kNearStackPointer, sp));
    EXPECT_FALSE(stacks.isOverflow(7, sp - ThreadStacks::kNearStackPointer - 1, sp));
    EXPECT_FALSE(stacks.isOverflow(7, 0, sp)) << "a null pointer";
    EXPECT_FALSE(stacks.isOverflow(7, 0x10, 0x100)) << "near zero but not a stack";
}

TEST(ThreadStacks, SlotsRunOutAndAreReused) {
    ThreadStacks stacks;
    for (pid_t tid = 1; tid <= static_cast<pid_t>(ThreadStacks::kSlots); ++tid) {
        ASSERT_TRUE(stacks.add(tid, 0x10000, 0x20000, 0x1000));
    }
    EXPECT_FALSE(stacks.add(100000, 0x10000, 0x20000, 0x1000));
    stacks.remove(5);
    EXPECT_TRUE(stacks.add(100000, 0x30000, 0x40000, 0x1000));
    EXPECT_TRUE(stacks.isOverflow(100000, 0x30000 - 8, 0x3FFF0000));
}

TEST(ThreadStacks, ReportTheCallingThreadsOwnStack) {
    uintptr_t low = 0, high = 0, guard = 0;
    ASSERT_TRUE(ThreadStacks::currentThreadStack(low, high, guard));
    const int local = 0;
    const auto here = reinterpret_cast<uintptr_t>(&local);
    EXPECT_LT(low, here);
    EXPECT_GT(high, here);
    EXPECT_EQ(guard, ThreadStacks::kMainGuardArea);

    std::thread([] {
        uintptr_t l = 0, h = 0, g = 0;
        ASSERT_TRUE(ThreadStacks::currentThreadStack(l, h, g));
        const int inside = 0;
        EXPECT_LT(l, reinterpret_cast<uintptr_t>(&inside));
        EXPECT_GT(h, reinterpret_cast<uintptr_t>(&inside));
        EXPECT_GE(g, static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)));
        EXPECT_LT(g, ThreadStacks::kMainGuardArea);
    }).join();
}
