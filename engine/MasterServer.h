// The listener: owns the listening UDP port, answers who-are-you and probes, starts one
// request thread per connect request, and relays every datagram between remote callers and
// their local sessions. Its own thread runs the dispatch loop; any thread may send through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <vector>

#include "engine/SessionMessage.h"
#include "platform/SocketAddress.h"
#include "platform/UdpSocket.h"
#include "sync/CSem.h"
#include "sync/CWorkerThread.h"

namespace ostrel::engine {

class NetCore;
class VoiceSession;

class MasterServer {
public:
    // Incoming requests that may wait for the user's answer at one time. Each holds a thread
    // and a socket, so a flood of requests from many addresses must not grow them unbounded;
    // a request beyond this is dropped and the caller's next resend may find room.
    static constexpr int kMaxWaitingRequests = 8;

    explicit MasterServer(NetCore& engine);
    // The engine stops first (stop flag set, waitUntilEnded returned).
    ~MasterServer();

    MasterServer(const MasterServer&) = delete;
    MasterServer& operator=(const MasterServer&) = delete;

    // Binds the listening port (any interface) and starts the server thread.
    bool start(uint16_t port);
    bool isRunning() const { return running_.load(); }
    // The bound port (0 before start).
    uint16_t boundPort() const { return boundPort_.load(); }

    // Sends the message from the listening socket.
    bool send(const SessionMessage& message, const platform::SocketAddress& to);
    // MSG_R_U_THERE with the current tick and `cookie`; the answer becomes notification 27.
    bool probe(uint32_t cookie, const platform::SocketAddress& to);

    // After the engine's stop flag is set: waits until the dispatch loop has ended and every
    // request thread has finished, however long a user takes to answer.
    void waitUntilEnded();

    // Request threads waiting for their answer (or still handling their request).
    int waitingRequests() const { return waitingRequests_.load(); }

    // A request thread whose call was accepted takes its session out of the pending list.
    // Caller holds pendingLock(), then the engine's session-list write lock.
    std::unique_ptr<VoiceSession> takePendingLocked(const VoiceSession* session);
    sync::CSem& pendingLock() { return pendingLock_; }

private:
    struct PendingRequest {
        std::unique_ptr<VoiceSession> session;  // cleared when handed to the engine
        std::unique_ptr<sync::CWorkerThread> thread;
    };

    // What the pending list and the engine's list know about a sender.
    struct SessionMatch {
        platform::SocketAddress ownAddress;   // the session's socket (127.0.0.1:port)
        platform::SocketAddress peerAddress;  // the remote caller it stands for
        bool incoming = false;
    };

    uint32_t serverThread();
    void dispatchLoop();
    void handleDatagram(const MessageView& message, const platform::SocketAddress& from);
    void handleConnectRequest(const MessageView& message, const platform::SocketAddress& from);
    struct KnownSender {
        std::optional<SessionMatch> own;     // a session of ours whose socket sent it
        std::optional<SessionMatch> caller;  // an incoming session whose caller sent it
    };
    // One pass over the pending requests and the engine's sessions.
    KnownSender lookUp(const platform::SocketAddress& from);
    // Queues the datagram to go out from the listening socket once the batch is handled.
    void relay(const MessageView& message, const platform::SocketAddress& to);
    void flushRelays();
    // Deletes the pairs whose thread has ended; waiting, until none is left.
    void cleanUp(bool waiting);

    NetCore& engine_;
    platform::UdpSocket socket_;
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> boundPort_{0};
    std::unique_ptr<sync::CWorkerThread> thread_;
    std::atomic<int> waitingRequests_{0};
    uint32_t lastCleanUp_ = 0;  // server thread only
    static constexpr size_t kReceiveBatch = 16;
    std::vector<platform::UdpSocket::Outgoing> relays_;  // server thread only

    sync::CSem pendingLock_;  // guards pending_
    std::list<PendingRequest> pending_;
};

}  // namespace ostrel::engine
