// Single-writer/multiple-reader guard. The engine's session list is walked under the shared
// side by the voice threads and the timer and changed under the exclusive side. The write lock
// is re-entrant for its holder; a named guard is shared by every process that opens the name.
#pragma once

#include <cstdint>
#include <string>

#include "sync/WaitResult.h"

namespace ostrel::sync {

class CSWMRG {
public:
    CSWMRG() = default;
    ~CSWMRG();

    CSWMRG(const CSWMRG&) = delete;
    CSWMRG& operator=(const CSWMRG&) = delete;

    // Creates the guard; with a name, opens the one another process created under it. Each
    // of the guard's object names ("SWMRGMutexNoWriter", "SWMRGEventNoReaders",
    // "SWMRGSemNumReaders" followed by the name) must stay under 100 characters.
    bool Initialize(const char* name = nullptr);
    // Releases this handle on the guard; a named guard disappears with its last handle.
    void Delete();

    // Waits until no other thread writes and no reader is inside; re-entrant for the holder.
    WaitResult WaitToWrite(unsigned long timeoutMs = kInfinite);
    void DoneWriting();

    // Waits until no writer is inside. A holder of the read lock must not ask to write.
    WaitResult WaitToRead(unsigned long timeoutMs = kInfinite);
    void DoneReading();

    static constexpr size_t kMaxObjectName = 99;

    struct State;  // defined in the source file only

private:
    State* state_ = nullptr;
    std::string sharedName_;  // empty for an unnamed guard
};

// Scoped holders for the two sides, always with an infinite time-out as the engine uses them.
class ReadLock {
public:
    explicit ReadLock(CSWMRG& guard) : guard_(guard) { guard_.WaitToRead(); }
    ~ReadLock() { guard_.DoneReading(); }
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

private:
    CSWMRG& guard_;
};

class WriteLock {
public:
    explicit WriteLock(CSWMRG& guard) : guard_(guard) { guard_.WaitToWrite(); }
    ~WriteLock() { guard_.DoneWriting(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    CSWMRG& guard_;
};

}  // namespace ostrel::sync
