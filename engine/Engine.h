// Voice session engine: one UDP listening port, calls to and from peers, the conference of
// sessions. The window's threads call these operations; the engine answers only through its
// EngineSink, from its own threads. Connect blocks its caller for the whole handshake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConnectionRequest.h"
#include "engine/SessionId.h"
#include "platform/SocketAddress.h"

namespace ostrel::engine {

struct ConnectedPeer {
    SessionId session;
    std::string description;
};

// The engine's operations in their fixed order.
class Engine {
public:
    // Destroy; an engine that was not stopped is stopped first.
    virtual ~Engine() = default;

    // Calls the request's destination; the new session, or an empty id when the call failed
    // (the reason was notified).
    virtual SessionId connect(const ConnectionRequest& request) = 0;
    // Binds the listening port and starts the listener; done once by construction.
    virtual bool startServer() = 0;
    // Hangs up every session, ends the listener and the engine's threads. An engine is never
    // started again after Stop.
    virtual void stop() = 0;
    virtual bool isCallActive() const = 0;
    // Sends a probe with `cookie` from the listening port; the answer is a delay notification.
    virtual bool probe(uint32_t cookie, const platform::SocketAddress& to) = 0;
    virtual void sendKeepAliveProbes() = 0;
    virtual std::string conferenceGuid() const = 0;
    virtual void setRecording(bool on) = 0;
    virtual void setUserName(std::string_view name) = 0;
    virtual void setSequenceCheck(bool on) = 0;
    virtual std::vector<ConnectedPeer> connectedPeers() const = 0;
    // Hangs up one session; false when it is not (or no longer) in the engine.
    virtual bool hangUp(SessionId session) = 0;
    // Digits to every connected peer, or only to `session` when given.
    virtual void sendDigits(std::string_view digits, SessionId session = {}) = 0;
    virtual bool isListening() const = 0;

protected:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
};

}  // namespace ostrel::engine
