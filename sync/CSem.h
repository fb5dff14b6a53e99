// Threads and synchronisation: CSem is a binary semaphore used both as a lock and as a one-shot
// signal between threads (the incoming-call question waits on one until the window answers).
// Any thread may wait on or signal any CSem; it is not re-entrant.
#pragma once

#include <atomic>
#include <memory>

#include "sync/ThreadId.h"
#include "sync/WaitResult.h"

namespace ostrel::sync {

class SemaphoreObject;

class CSem {
public:
    // Unnamed, initial count 1 (an unlocked lock).
    CSem();
    // Unnamed with the given initial count; the maximum is always 1.
    explicit CSem(long initialCount);
    // Named: a POSIX named semaphore shared with every process that opens the same name.
    // Created with count 1 when it does not exist yet.
    explicit CSem(const char* name);
    ~CSem();

    CSem(const CSem&) = delete;
    // Copies handle and owner: both objects then share one semaphore.
    CSem& operator=(const CSem& other);

    // Opaque identity of the underlying semaphore (equal for objects that share one).
    const void* GetHandle() const;

    // Timed (any value other than kInfinite): one wait; 1 if taken, else 0; owner unchanged.
    // Untimed: blocks until taken, records the caller as owner and returns 1; 0 if the wait
    // fails (a semaphore that could not be created).
    int WaitOnSemaphore(unsigned long timeoutMs);

    // Releases one count (never above 1) and clears the owner.
    void SignalSemaphore();

    // Id of the thread that last completed an untimed wait; 0 after a signal.
    ThreadId Owner() const;

    // Removes a named semaphore from the system (for tests and clean-up; open handles stay valid).
    static void RemoveNamed(const char* name);

private:
    std::shared_ptr<SemaphoreObject> handle_;
    std::shared_ptr<std::atomic<ThreadId>> owner_;
};

}  // namespace ostrel::sync
