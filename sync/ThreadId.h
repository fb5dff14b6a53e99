// Thread identity for the sync layer: every thread gets a small non-zero id the first time it
// asks, and worker threads get theirs before they start, so a starter can post to a thread
// it has just created. Ids are never reused within a process.
#pragma once

#include <cstdint>

namespace ostrel::sync {

using ThreadId = uint32_t;

// The calling thread's id (never 0).
ThreadId currentThreadId();

namespace detail {
ThreadId allocateThreadId();
void adoptThreadId(ThreadId id);  // called first thing on a new worker thread
}  // namespace detail

}  // namespace ostrel::sync
