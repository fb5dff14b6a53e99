#include "fault/ThreadStacks.h"

#include <pthread.h>
#include <unistd.h>

namespace ostrel::fault {

bool ThreadStacks::add(pid_t tid, uintptr_t low, uintptr_t high, uintptr_t guard) noexcept {
    remove(tid);
    for (Slot& slot : slots_) {
        pid_t expected = 0;
        // Claim the slot with a marker first, so a reader never pairs this tid with the
        // bounds of the slot's previous thread.
        if (slot.tid.compare_exchange_strong(expected, -1)) {
            slot.low.store(low);
            slot.high.store(high);
            slot.guard.store(guard);
            slot.tid.store(tid);
            return true;
        }
    }
    return false;
}

void ThreadStacks::remove(pid_t tid) noexcept {
    for (Slot& slot : slots_) {
        pid_t expected = tid;
        slot.tid.compare_exchange_strong(expected, 0);
    }
}

bool ThreadStacks::isOverflow(pid_t tid, uintptr_t faultAddress, uintptr_t sp) const noexcept {
    if (faultAddress < kNullArea) {
        return false;
    }
    for (const Slot& slot : slots_) {
        if (slot.tid.load() != tid) {
            continue;
        }
        const uintptr_t low = slot.low.load();
        const uintptr_t guard = slot.guard.load();
        const uintptr_t guardLow = low > guard ? low - guard : 0;
        if (faultAddress < low && faultAddress >= guardLow) {
            return true;
        }
        break;
    }
    const uintptr_t nearLow = sp > kNearStackPointer ? sp - kNearStackPointer : 0;
    return faultAddress >= nearLow && faultAddress - nearLow < 2 * kNearStackPointer;
}

bool ThreadStacks::currentThreadStack(uintptr_t& low, uintptr_t& high, uintptr_t& guard) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return false;
    }
    void* address = nullptr;
    size_t size = 0;
    size_t guardSize = 0;
    const bool ok = pthread_attr_getstack(&attributes, &address, &size) == 0 &&
                    pthread_attr_getguardsize(&attributes, &guardSize) == 0;
    pthread_attr_destroy(&attributes);
    if (!ok) {
        return false;
    }
    low = reinterpret_cast<uintptr_t>(address);
    high = low + size;
    // The main thread reports no guard; the kernel's gap below its stack serves as one.
    const bool mainThread = getpid() == gettid();
    guard = mainThread ? kMainGuardArea : (guardSize > 0 ? guardSize : sysconf(_SC_PAGESIZE));
    return true;
}

}  // namespace ostrel::fault
