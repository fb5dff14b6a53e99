// A named thread with a start handshake and a running flag. The owner constructs it, starts it
// once, ends it (stop flag or thread message) and waits for it before destroying the wrapper;
// nothing stops a thread from outside.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "sync/CSem.h"
#include "sync/ThreadId.h"
#include "sync/WaitResult.h"

namespace ostrel::sync {

class CWorkerThread {
public:
    using Procedure = std::function<uint32_t(void*)>;
    using StartHook = void (*)();

    // A process-wide function every worker thread runs first, before its procedure (the crash
    // handler gives each thread its alternate signal stack this way). nullptr removes it.
    static void SetStartHook(StartHook hook);

    // Stores the fields; no thread exists yet. With `deleteOnExit` the thread deletes this
    // wrapper after the procedure returns, so such a wrapper must be allocated with new.
    CWorkerThread(Procedure procedure, void* argument, std::string name, bool deleteOnExit = false);
    // Does not stop the thread: owners end it and wait first.
    ~CWorkerThread();

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Creates the thread. With `waitUntilStarted`, blocks until the body calls SignalStarted.
    // False when the thread cannot be created or was started before.
    bool Start(bool waitUntilStarted);

    // Called by the thread body once its own set-up is done (queue created, devices opened).
    void SignalStarted();

    // Target for postThreadMessage; valid from Start on.
    ThreadId GetThreadId() const { return id_; }

    // 1 from the moment the thread begins until its procedure returns.
    bool IsRunning() const { return running_.load(); }
    // Set when the thread began; never cleared.
    bool HasStarted() const { return started_.load(); }

    // Failed at once when the thread was never started or has already ended; otherwise
    // Signaled when it ended within the time-out, else TimedOut.
    WaitResult Wait(unsigned long timeoutMs);

    const std::string& Name() const { return name_; }

private:
    struct EndState;
    static void trampoline(CWorkerThread* self, std::shared_ptr<EndState> end);
    void reap();

    Procedure procedure_;
    void* argument_;
    std::string name_;
    bool deleteOnExit_;
    std::atomic<bool> running_{false};
    std::atomic<bool> started_{false};
    ThreadId id_ = 0;
    std::thread thread_;
    std::shared_ptr<EndState> end_;
    std::shared_ptr<CSem> startSemaphore_;
};

}  // namespace ostrel::sync
