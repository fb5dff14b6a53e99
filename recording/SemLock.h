// Holds a CSem taken as a lock for one scope.
#pragma once

#include "sync/CSem.h"

namespace ostrel::recording {

class SemLock {
public:
    explicit SemLock(sync::CSem& sem) : sem_(sem) { sem_.WaitOnSemaphore(sync::kInfinite); }
    ~SemLock() { sem_.SignalSemaphore(); }
    SemLock(const SemLock&) = delete;
    SemLock& operator=(const SemLock&) = delete;

private:
    sync::CSem& sem_;
};

}  // namespace ostrel::recording
