// The question an incoming connect request puts to the window. It lives on the request
// thread's stack; the window writes the answer through respond() exactly once and must not
// touch the record afterwards, because the request thread then goes on and the record ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "sync/CSem.h"

namespace ostrel::engine {

struct IncomingCallRequest {
    enum Answer : uint32_t { kPending = 1, kAccept = 2, kReject = 3 };

    std::string peerUserName;
    sync::CSem* semaphore = nullptr;  // taken by the request thread, signalled by respond()
    std::atomic<uint32_t> answer{kPending};

    void respond(Answer a) {
        answer.store(a);
        semaphore->SignalSemaphore();
    }
};

}  // namespace ostrel::engine
