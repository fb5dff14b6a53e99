#include "sync/ThreadId.h"

#include <atomic>

namespace ostrel::sync {

namespace {
std::atomic<ThreadId> nextId{1};
thread_local ThreadId ownId = 0;
}  // namespace

namespace detail {
ThreadId allocateThreadId() {
    return nextId.fetch_add(1, std::memory_order_relaxed);
}
void adoptThreadId(ThreadId id) {
    ownId = id;
}
}  // namespace detail

ThreadId currentThreadId() {
    if (ownId == 0) {
        ownId = detail::allocateThreadId();
    }
    return ownId;
}

}  // namespace ostrel::sync
