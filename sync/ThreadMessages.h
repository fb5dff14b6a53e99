// Per-thread message queues in the manner of PostThreadMessage / GetMessage / PeekMessage.
// A thread has a queue once it asks for one; any thread may post to a thread that has one.
// Queues vanish when their thread ends; posting to a thread without a queue fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sync/ThreadId.h"

namespace ostrel::sync {

// Message numbers that cross thread boundaries in this program.
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t MM_WOM_DONE = 0x03BD;  // a playback buffer finished
inline constexpr uint32_t MM_WIM_DATA = 0x03C0;  // a capture buffer is full

struct ThreadMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Gives the calling thread a queue if it has none. Owners call this before they announce
// themselves (the equivalent of the PeekMessage call before opening a wave device).
void ensureMessageQueue();

// True when the thread with that id currently has a queue.
bool hasMessageQueue(ThreadId thread);

// Appends a message to the target thread's queue; false when that thread has no queue.
bool postThreadMessage(ThreadId target, uint32_t message, uintptr_t wParam = 0,
                       intptr_t lParam = 0);

// Blocks until a message arrives and removes it. Returns false for WM_QUIT.
// Creates the caller's queue if needed.
bool getMessage(ThreadMessage& out);

// Takes (remove) or looks at the oldest message without waiting; false when the queue is empty.
bool peekMessage(ThreadMessage& out, bool remove = true);

// Waits up to `timeoutMs` for a message and removes it; false on time-out.
bool waitMessage(ThreadMessage& out, unsigned long timeoutMs);

// Number of messages waiting in the caller's queue (0 without a queue).
size_t pendingMessageCount();

// Drops the caller's queue now (worker threads do this when their procedure returns).
void destroyMessageQueue();

}  // namespace ostrel::sync
