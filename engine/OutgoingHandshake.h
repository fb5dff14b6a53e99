// The caller's side of call set-up on an outgoing session: connect requests, resent after
// silence, and the callee's answers (ringing, busy, refusals, accept) read from the session
// socket. Runs on the connecting thread, which it blocks for the whole exchange.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/ConnectionRequest.h"
#include "engine/SessionMessage.h"
#include "platform/SocketAddress.h"

namespace ostrel::engine {

class NetCore;
class VoiceSession;

class OutgoingHandshake {
public:
    static constexpr int kDirectAttempts = 3;
    static constexpr int kBridgeAttempts = 6;  // a bridge may need longer to reach its far end
    static constexpr int kSilentWaitsPerAttempt = 3;

    OutgoingHandshake(NetCore& engine, VoiceSession& session, const ConnectionRequest& request);

    // True when the callee accepted; the session is then marked connected with the peer's
    // name, identity and version.
    bool run();

private:
    enum class Outcome { Accepted, Failed, KeepWaiting };
    enum class WaitResult { Datagram, Silent, Abandoned };

    bool abandoned() const;
    bool hangUpAndFail();
    SessionMessage buildRequest();
    // One wait of the handshake length for a datagram that passes the filter.
    WaitResult receiveFiltered(size_t& size, platform::SocketAddress& from);
    Outcome handle(size_t size, const platform::SocketAddress& from);
    // Sleeps, waking early when the attempt is abandoned.
    void pause(uint32_t ms) const;

    NetCore& engine_;
    VoiceSession& session_;
    const ConnectionRequest& request_;
    std::vector<uint8_t> buffer_;
    bool busyReported_ = false;
};

}  // namespace ostrel::engine
