// The callee's side of call set-up for one connect request, on its own "Incoming connection
// thread": checks the request, rings, asks the window and waits for its answer, then sends
// the accept or the refusal and hands an accepted session to the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/SessionMessage.h"

namespace ostrel::engine {

class MasterServer;
class NetCore;
class VoiceSession;

class IncomingRequestHandler {
public:
    enum Result : uint32_t { kFailed = 0, kAccepted = 1, kRejected = 2 };

    // `datagram` holds the request exactly as it arrived.
    IncomingRequestHandler(NetCore& engine, MasterServer& server, VoiceSession& session,
                           std::vector<uint8_t> datagram);

    Result run();

private:
    // Sends from the session socket (through the listener's relay to the caller).
    bool sendOrGiveUp(const SessionMessage& message);
    // The GUID the accept carries, adopted by the engine when no call is active yet.
    std::string conferenceGuidFor(const ConnectFields& request);
    void handOver();

    NetCore& engine_;
    MasterServer& server_;
    VoiceSession& session_;
    std::vector<uint8_t> datagram_;
    std::string caller_;  // "a.b.c.d:port" for log texts
};

}  // namespace ostrel::engine
