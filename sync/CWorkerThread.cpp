#include "sync/CWorkerThread.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "sync/ThreadMessages.h"

namespace ostrel::sync {

namespace {
std::atomic<CWorkerThread::StartHook> startHook{nullptr};
}  // namespace

void CWorkerThread::SetStartHook(StartHook hook) {
    startHook.store(hook);
}

// Shared between the wrapper and its thread, so the thread can report its end even when the
// wrapper is deleted the moment the owner sees it.
struct CWorkerThread::EndState {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool launched = false;  // Start has stored the thread object; the wrapper may now go
};

CWorkerThread::CWorkerThread(Procedure procedure, void* argument, std::string name,
                             bool deleteOnExit)
    : procedure_(std::move(procedure)),
      argument_(argument),
      name_(std::move(name)),
      deleteOnExit_(deleteOnExit) {
    if (name_.size() > 255) {
        name_.resize(255);
    }
}

CWorkerThread::~CWorkerThread() {
    if (!thread_.joinable()) {
        return;
    }
    const bool ended = end_ && [this] {
        std::lock_guard lock(end_->mutex);
        return end_->ended;
    }();
    if (thread_.get_id() == std::this_thread::get_id() || !ended) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

bool CWorkerThread::Start(bool waitUntilStarted) {
    if (thread_.joinable() || end_) {
        return false;
    }
    id_ = detail::allocateThreadId();
    end_ = std::make_shared<EndState>();
    if (waitUntilStarted) {
        startSemaphore_ = std::make_shared<CSem>(0L);
    }
    // With deleteOnExit the thread deletes this wrapper when it ends, so after `launched` is
    // set nothing below touches a member: the start handshake works on its own copies.
    const std::shared_ptr<CSem> startSemaphore = startSemaphore_;
    const std::shared_ptr<EndState> end = end_;
    try {
        thread_ = std::thread(&CWorkerThread::trampoline, this, end_);
    } catch (const std::system_error&) {
        end_.reset();
        return false;
    }
    {
        std::lock_guard lock(end->mutex);
        end->launched = true;
    }
    end->changed.notify_all();
    if (startSemaphore) {
        startSemaphore->WaitOnSemaphore(kInfinite);
    }
    return true;
}

void CWorkerThread::SignalStarted() {
    if (startSemaphore_) {
        startSemaphore_->SignalSemaphore();
    }
}

void CWorkerThread::trampoline(CWorkerThread* self, std::shared_ptr<EndState> end) {
    detail::adoptThreadId(self->id_);
    // Linux keeps 15 characters of a thread name; enough to tell threads apart in a debugger.
    pthread_setname_np(pthread_self(), self->name_.substr(0, 15).c_str());
    if (const StartHook hook = startHook.load()) {
        hook();
    }
    self->started_.store(true);
    self->running_.store(true);
    self->procedure_(self->argument_);
    self->running_.store(false);
    destroyMessageQueue();
    if (self->deleteOnExit_) {
        std::unique_lock lock(end->mutex);
        end->changed.wait(lock, [&] { return end->launched; });
        lock.unlock();
        delete self;  // detaches its own thread
    }
    {
        std::lock_guard lock(end->mutex);
        end->ended = true;
    }
    end->changed.notify_all();
}

void CWorkerThread::reap() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

WaitResult CWorkerThread::Wait(unsigned long timeoutMs) {
    if (!end_) {
        return WaitResult::Failed;
    }
    std::unique_lock lock(end_->mutex);
    if (end_->ended) {
        lock.unlock();
        reap();
        return WaitResult::Failed;
    }
    const auto ended = [this] { return end_->ended; };
    if (timeoutMs == kInfinite) {
        end_->changed.wait(lock, ended);
    } else if (!end_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
        return WaitResult::TimedOut;
    }
    lock.unlock();
    reap();
    return WaitResult::Signaled;
}

}  // namespace ostrel::sync
