#include "sync/CSWMRG.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>

#include "sync/ThreadId.h"

namespace ostrel::sync {

// The guard's whole state. An unnamed guard keeps it on the heap; a named one in POSIX shared
// memory with process-shared primitives, so another process sees the same readers and writer.
struct CSWMRG::State {
    std::atomic<uint32_t> ready;    // set by the creator once the primitives are initialised
    std::atomic<uint32_t> handles;  // open handles across processes (named guards)
    pthread_mutex_t mutex;          // guards every field below
    pthread_cond_t changed;         // broadcast whenever readers or the writer change
    uint32_t readers;
    pid_t writerProcess;  // 0 when nobody writes
    uint32_t writerThread;
    uint32_t writerDepth;
};

namespace {

constexpr const char* kObjectPrefixes[] = {"SWMRGMutexNoWriter", "SWMRGEventNoReaders",
                                           "SWMRGSemNumReaders"};

void initPrimitives(CSWMRG::State* s, bool shared) {
    pthread_mutexattr_t ma;
    pthread_mutexattr_init(&ma);
    if (shared) {
        pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
        // A process that dies inside the guard must not leave it locked for the others.
        pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
    }
    pthread_mutex_init(&s->mutex, &ma);
    pthread_mutexattr_destroy(&ma);

    pthread_condattr_t ca;
    pthread_condattr_init(&ca);
    pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
    if (shared) {
        pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
    }
    pthread_cond_init(&s->changed, &ca);
    pthread_condattr_destroy(&ca);
    s->readers = 0;
    s->writerProcess = 0;
    s->writerThread = 0;
    s->writerDepth = 0;
}

void lockState(CSWMRG::State* s) {
    if (pthread_mutex_lock(&s->mutex) == EOWNERDEAD) {
        pthread_mutex_consistent(&s->mutex);
    }
}

timespec deadlineAfter(unsigned long timeoutMs) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    ts.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Waits on the condition (mutex held); false on time-out.
bool waitChanged(CSWMRG::State* s, unsigned long timeoutMs, const timespec& deadline) {
    int rc = 0;
    if (timeoutMs == kInfinite) {
        rc = pthread_cond_wait(&s->changed, &s->mutex);
    } else {
        rc = pthread_cond_timedwait(&s->changed, &s->mutex, &deadline);
    }
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(&s->mutex);
    }
    return rc != ETIMEDOUT;
}

// getpid is a system call, and the guard asks on every lock; a forked child asks afresh.
pid_t ownProcess() {
    static std::atomic<pid_t> cached{0};
    static const bool forgetInChild = [] {
        return pthread_atfork(nullptr, nullptr, [] { cached.store(0); }) == 0;
    }();
    (void)forgetInChild;
    pid_t pid = cached.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = getpid();
        cached.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// A writer of another process that died keeps nobody out.
void forgetDeadWriter(CSWMRG::State* s) {
    if (s->writerProcess != 0 && s->writerProcess != ownProcess() &&
        kill(s->writerProcess, 0) != 0 && errno == ESRCH) {
        s->writerProcess = 0;
        s->writerThread = 0;
        s->writerDepth = 0;
    }
}

}  // namespace

CSWMRG::~CSWMRG() {
    Delete();
}

bool CSWMRG::Initialize(const char* name) {
    if (state_ != nullptr) {
        return false;
    }
    if (name == nullptr) {
        state_ = new State{};
        initPrimitives(state_, false);
        state_->ready.store(1);
        state_->handles.store(1);
        return true;
    }
    for (const char* prefix : kObjectPrefixes) {
        if (std::strlen(prefix) + std::strlen(name) > kMaxObjectName) {
            return false;
        }
    }
    std::string shmName = "/SWMRG.";
    for (const char* c = name; *c != '\0'; ++c) {
        shmName += (*c == '/') ? '_' : *c;
    }

    bool creator = true;
    int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        creator = false;
        fd = shm_open(shmName.c_str(), O_RDWR, 0600);
    }
    if (fd < 0) {
        return false;
    }
    if (creator) {
        if (ftruncate(fd, sizeof(State)) != 0) {
            close(fd);
            shm_unlink(shmName.c_str());
            return false;
        }
    } else {
        // The creator may not have sized the object yet.
        struct stat st {};
        for (int i = 0;
             i < 1000 && fstat(fd, &st) == 0 && st.st_size < static_cast<off_t>(sizeof(State));
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (st.st_size < static_cast<off_t>(sizeof(State))) {
            close(fd);
            return false;
        }
    }
    void* memory = mmap(nullptr, sizeof(State), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (memory == MAP_FAILED) {
        return false;
    }
    auto* state = static_cast<State*>(memory);
    if (creator) {
        initPrimitives(state, true);
        state->handles.store(1);
        state->ready.store(1, std::memory_order_release);
    } else {
        for (int i = 0; i < 1000 && state->ready.load(std::memory_order_acquire) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (state->ready.load(std::memory_order_acquire) == 0) {
            munmap(memory, sizeof(State));
            return false;
        }
        state->handles.fetch_add(1);
    }
    state_ = state;
    sharedName_ = shmName;
    return true;
}

void CSWMRG::Delete() {
    if (state_ == nullptr) {
        return;
    }
    if (sharedName_.empty()) {
        pthread_cond_destroy(&state_->changed);
        pthread_mutex_destroy(&state_->mutex);
        delete state_;
    } else {
        if (state_->handles.fetch_sub(1) == 1) {
            shm_unlink(sharedName_.c_str());
        }
        munmap(state_, sizeof(State));
        sharedName_.clear();
    }
    state_ = nullptr;
}

WaitResult CSWMRG::WaitToWrite(unsigned long timeoutMs) {
    if (state_ == nullptr) {
        return WaitResult::Failed;
    }
    const timespec deadline = deadlineAfter(timeoutMs);
    const pid_t process = ownProcess();
    const uint32_t thread = currentThreadId();
    lockState(state_);
    while (true) {
        forgetDeadWriter(state_);
        if (state_->writerProcess == process && state_->writerThread == thread) {
            ++state_->writerDepth;
            break;
        }
        if (state_->writerProcess == 0 && state_->readers == 0) {
            state_->writerProcess = process;
            state_->writerThread = thread;
            state_->writerDepth = 1;
            break;
        }
        if (!waitChanged(state_, timeoutMs, deadline)) {
            pthread_mutex_unlock(&state_->mutex);
            return WaitResult::TimedOut;
        }
    }
    pthread_mutex_unlock(&state_->mutex);
    return WaitResult::Signaled;
}

void CSWMRG::DoneWriting() {
    if (state_ == nullptr) {
        return;
    }
    lockState(state_);
    if (state_->writerProcess == ownProcess() && state_->writerThread == currentThreadId() &&
        --state_->writerDepth == 0) {
        state_->writerProcess = 0;
        state_->writerThread = 0;
        pthread_cond_broadcast(&state_->changed);
    }
    pthread_mutex_unlock(&state_->mutex);
}

WaitResult CSWMRG::WaitToRead(unsigned long timeoutMs) {
    if (state_ == nullptr) {
        return WaitResult::Failed;
    }
    const timespec deadline = deadlineAfter(timeoutMs);
    const pid_t process = ownProcess();
    const uint32_t thread = currentThreadId();
    lockState(state_);
    while (true) {
        forgetDeadWriter(state_);
        // The writer may also read: its own mutex would not keep it out.
        if (state_->writerProcess == 0 ||
            (state_->writerProcess == process && state_->writerThread == thread)) {
            break;
        }
        if (!waitChanged(state_, timeoutMs, deadline)) {
            pthread_mutex_unlock(&state_->mutex);
            return WaitResult::TimedOut;
        }
    }
    ++state_->readers;
    pthread_mutex_unlock(&state_->mutex);
    return WaitResult::Signaled;
}

void CSWMRG::DoneReading() {
    if (state_ == nullptr) {
        return;
    }
    lockState(state_);
    if (state_->readers > 0 && --state_->readers == 0) {
        pthread_cond_broadcast(&state_->changed);
    }
    pthread_mutex_unlock(&state_->mutex);
}

}  // namespace ostrel::sync
