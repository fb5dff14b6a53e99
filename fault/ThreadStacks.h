// The stack ranges of the threads the crash handler knows (the main thread and every thread
// armed for it), kept in fixed slots so a signal handler can tell a stack overflow from any
// other access fault. add/remove from the owning thread; isOverflow from any context.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ostrel::fault {

class ThreadStacks {
public:
    static constexpr size_t kSlots = 256;
    // A fault this close to the stack pointer is taken for an overflow even on a thread whose
    // bounds are unknown: one frame rarely moves the stack pointer further than 64 KiB.
    static constexpr uintptr_t kNearStackPointer = 64 * 1024;
    // Below the main thread's lowest stack address the kernel keeps a gap of 256 pages; a
    // fault in the first 1 MiB below it is the stack running out.
    static constexpr uintptr_t kMainGuardArea = 1024 * 1024;
    // Nothing is ever mapped in the lowest 64 KiB (vm.mmap_min_addr): a fault there is a null
    // pointer, whatever the stack pointer says.
    static constexpr uintptr_t kNullArea = 64 * 1024;

    // Records [low, high) for thread `tid` with `guard` bytes of guard area below `low`.
    // False when every slot is taken.
    bool add(pid_t tid, uintptr_t low, uintptr_t high, uintptr_t guard) noexcept;
    void remove(pid_t tid) noexcept;

    // True when a SIGSEGV at `faultAddress` on thread `tid` with stack pointer `sp` lies in
    // the guard area below that thread's stack, or just around the stack pointer.
    bool isOverflow(pid_t tid, uintptr_t faultAddress, uintptr_t sp) const noexcept;

    // The calling thread's stack as the C library reports it; false when it cannot.
    static bool currentThreadStack(uintptr_t& low, uintptr_t& high, uintptr_t& guard);

private:
    struct Slot {
        std::atomic<pid_t> tid{0};
        std::atomic<uintptr_t> low{0};
        std::atomic<uintptr_t> high{0};
        std::atomic<uintptr_t> guard{0};
    };
    Slot slots_[kSlots];
};

}  // namespace ostrel::fault
