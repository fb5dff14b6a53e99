#include "sync/CSem.h"

#include <fcntl.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>

namespace ostrel::sync {

// The semaphore behind one or more CSem objects: either a count guarded by a mutex in this
// process, or a POSIX named semaphore.
class SemaphoreObject {
public:
    explicit SemaphoreObject(long initialCount) : count_(initialCount > 0 ? 1 : 0) {}

    explicit SemaphoreObject(const std::string& name) {
        named_ = sem_open(posixName(name).c_str(), O_CREAT, 0600, 1);
        if (named_ == SEM_FAILED) {
            named_ = nullptr;
            failed_ = true;
        }
    }

    ~SemaphoreObject() {
        if (named_ != nullptr) {
            sem_close(named_);
        }
    }

    SemaphoreObject(const SemaphoreObject&) = delete;
    SemaphoreObject& operator=(const SemaphoreObject&) = delete;

    bool failed() const { return failed_; }

    void take() {
        if (named_ != nullptr) {
            while (sem_wait(named_) != 0 && errno == EINTR) {
            }
            return;
        }
        std::unique_lock lock(mutex_);
        available_.wait(lock, [this] { return count_ > 0; });
        count_ = 0;
    }

    bool tryTake(unsigned long timeoutMs) {
        if (named_ != nullptr) {
            timespec deadline{};
            clock_gettime(CLOCK_MONOTONIC, &deadline);
            deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
            deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_sec += 1;
                deadline.tv_nsec -= 1000000000L;
            }
            while (true) {
                if (sem_clockwait(named_, CLOCK_MONOTONIC, &deadline) == 0) {
                    return true;
                }
                if (errno != EINTR) {
                    return false;
                }
            }
        }
        std::unique_lock lock(mutex_);
        if (!available_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return count_ > 0; })) {
            return false;
        }
        count_ = 0;
        return true;
    }

    void release() {
        if (named_ != nullptr) {
            // The maximum count is 1. Between processes this check and the post are not one
            // step; two signals racing on a held semaphore could leave it at 2, which no caller
            // of ours does.
            int value = 0;
            if (sem_getvalue(named_, &value) == 0 && value == 0) {
                sem_post(named_);
            }
            return;
        }
        {
            std::lock_guard lock(mutex_);
            if (count_ > 0) {
                return;  // not held: signalling fails silently
            }
            count_ = 1;
        }
        available_.notify_one();
    }

    static std::string posixName(const std::string& name) {
        std::string out = "/";
        for (char c : name) {
            out += (c == '/') ? '_' : c;
        }
        return out;
    }

private:
    std::mutex mutex_;
    std::condition_variable available_;
    int count_ = 1;
    sem_t* named_ = nullptr;
    bool failed_ = false;
};

CSem::CSem() : CSem(1L) {}

CSem::CSem(long initialCount)
    : handle_(std::make_shared<SemaphoreObject>(initialCount)),
      owner_(std::make_shared<std::atomic<ThreadId>>(0)) {}

CSem::CSem(const char* name)
    : handle_(std::make_shared<SemaphoreObject>(std::string(name != nullptr ? name : ""))),
      owner_(std::make_shared<std::atomic<ThreadId>>(0)) {}

CSem::~CSem() = default;

CSem& CSem::operator=(const CSem& other) {
    if (this != &other) {
        handle_ = other.handle_;
        owner_ = other.owner_;
    }
    return *this;
}

const void* CSem::GetHandle() const {
    return handle_.get();
}

int CSem::WaitOnSemaphore(unsigned long timeoutMs) {
    if (handle_->failed()) {
        return 0;
    }
    if (timeoutMs != kInfinite) {
        return handle_->tryTake(timeoutMs) ? 1 : 0;
    }
    handle_->take();
    owner_->store(currentThreadId());
    return 1;
}

void CSem::SignalSemaphore() {
    if (handle_->failed()) {
        return;
    }
    // The waiter of a one-shot signal may destroy this CSem the moment the count is back;
    // the local reference keeps the semaphore alive until release() has finished with it.
    const std::shared_ptr<SemaphoreObject> handle = handle_;
    owner_->store(0);
    handle->release();
}

ThreadId CSem::Owner() const {
    return owner_->load();
}

void CSem::RemoveNamed(const char* name) {
    sem_unlink(SemaphoreObject::posixName(name).c_str());
}

}  // namespace ostrel::sync
