#include "sync/ThreadMessages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "sync/WaitResult.h"

namespace ostrel::sync {

namespace {

class MessageQueue {
public:
    void push(const ThreadMessage& message) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(message);
        }
        arrived_.notify_one();
    }

    bool pop(ThreadMessage& out, unsigned long timeoutMs) {
        std::unique_lock lock(mutex_);
        const auto ready = [this] { return !messages_.empty(); };
        if (timeoutMs == kInfinite) {
            arrived_.wait(lock, ready);
        } else if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
            return false;
        }
        out = messages_.front();
        messages_.pop_front();
        return true;
    }

    bool peek(ThreadMessage& out, bool remove) {
        std::lock_guard lock(mutex_);
        if (messages_.empty()) {
            return false;
        }
        out = messages_.front();
        if (remove) {
            messages_.pop_front();
        }
        return true;
    }

    size_t size() {
        std::lock_guard lock(mutex_);
        return messages_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<ThreadMessage> messages_;
};

// Guards the map from thread ids to queues; each queue has its own lock for its messages.
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::unordered_map<ThreadId, std::shared_ptr<MessageQueue>>& registry() {
    static std::unordered_map<ThreadId, std::shared_ptr<MessageQueue>> r;
    return r;
}

// Unregisters the thread's queue when the thread ends, whoever created the thread.
struct QueueOwner {
    ThreadId id = 0;
    std::shared_ptr<MessageQueue> queue;

    void drop() {
        if (queue) {
            std::lock_guard lock(registryMutex());
            registry().erase(id);
            queue.reset();
        }
    }
    ~QueueOwner() { drop(); }
};

thread_local QueueOwner ownQueue;

MessageQueue& queueOfCaller() {
    if (!ownQueue.queue) {
        ownQueue.id = currentThreadId();
        ownQueue.queue = std::make_shared<MessageQueue>();
        std::lock_guard lock(registryMutex());
        registry()[ownQueue.id] = ownQueue.queue;
    }
    return *ownQueue.queue;
}

}  // namespace

void ensureMessageQueue() {
    queueOfCaller();
}

bool hasMessageQueue(ThreadId thread) {
    std::lock_guard lock(registryMutex());
    return registry().count(thread) != 0;
}

bool postThreadMessage(ThreadId target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard lock(registryMutex());
        const auto it = registry().find(target);
        if (it == registry().end()) {
            return false;
        }
        queue = it->second;
    }
    queue->push(ThreadMessage{message, wParam, lParam});
    return true;
}

bool getMessage(ThreadMessage& out) {
    queueOfCaller().pop(out, kInfinite);
    return out.message != WM_QUIT;
}

bool peekMessage(ThreadMessage& out, bool remove) {
    if (!ownQueue.queue) {
        return false;
    }
    return ownQueue.queue->peek(out, remove);
}

bool waitMessage(ThreadMessage& out, unsigned long timeoutMs) {
    return queueOfCaller().pop(out, timeoutMs);
}

size_t pendingMessageCount() {
    return ownQueue.queue ? ownQueue.queue->size() : 0;
}

void destroyMessageQueue() {
    ownQueue.drop();
}

}  // namespace ostrel::sync
