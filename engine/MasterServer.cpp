#include "engine/MasterServer.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/FormatText.h"
#include "engine/IncomingRequestHandler.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"
#include "sync/CSWMRG.h"
#include "sync/ThreadMessages.h"

namespace ostrel::engine {

using platform::SocketAddress;
using platform::UdpSocket;

namespace {

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

MasterServer::MasterServer(NetCore& engine) : engine_(engine) {}

MasterServer::~MasterServer() {
    if (thread_) {
        thread_->Wait(sync::kInfinite);
    }
    socket_.close();
}

bool MasterServer::start(uint16_t port) {
    if (running_.load()) {
        engine_.log("Server already running");
        return false;
    }
    if (!socket_.bind(SocketAddress{SocketAddress::kAny, port})) {
        socket_.close();
        engine_.log("Server Bind error");
        engine_.notify(NotificationCode::ListenerBindFailed);
        return false;
    }
    boundPort_.store(socket_.localAddress().value_or(SocketAddress{}).port);
    engine_.log("Starting Server....");
    thread_ = std::make_unique<sync::CWorkerThread>([this](void*) { return serverThread(); },
                                                    nullptr, "Server Thread for Netcore");
    if (!thread_->Start(true)) {
        thread_.reset();
        socket_.close();
        return false;
    }
    running_.store(true);
    return true;
}

bool MasterServer::send(const SessionMessage& message, const SocketAddress& to) {
    return socket_.sendTo(to, message.data(), message.size()) == UdpSocket::Result::Ok;
}

bool MasterServer::probe(uint32_t cookie, const SocketAddress& to) {
    return send(buildProbe(platform::tickCount(), cookie), to);
}

void MasterServer::waitUntilEnded() {
    if (thread_) {
        thread_->Wait(sync::kInfinite);
    }
}

std::unique_ptr<VoiceSession> MasterServer::takePendingLocked(const VoiceSession* session) {
    for (PendingRequest& pending : pending_) {
        if (pending.session.get() == session) {
            return std::move(pending.session);
        }
    }
    return nullptr;
}

uint32_t MasterServer::serverThread() {
    engine_.log("Waiting for incoming connection");
    sync::ensureMessageQueue();
    thread_->SignalStarted();
    if (!engine_.stopRequested()) {
        dispatchLoop();
    }
    cleanUp(true);
    socket_.close();
    engine_.log("Master Server thread exitting");
    return 0;
}

void MasterServer::dispatchLoop() {
    const EngineTimings& timings = engine_.timings();
    // Under a stream of relayed voice several datagrams are usually waiting: they are read
    // with one system call and their relays go out with one more.
    std::vector<uint8_t> buffers(kReceiveBatch * kReceiveBufferSize);
    std::array<UdpSocket::Slot, kReceiveBatch> slots;
    for (size_t i = 0; i < kReceiveBatch; ++i) {
        slots[i].buffer = buffers.data() + i * kReceiveBufferSize;
        slots[i].capacity = kReceiveBufferSize;
    }
    relays_.reserve(kReceiveBatch);
    lastCleanUp_ = platform::tickCount();
    for (;;) {
        // On stop the socket stays open until the request threads have ended (serverThread
        // closes it): one still sending its accepts relays nothing more, but its hang-up to
        // the caller goes out from this socket.
        if (engine_.stopRequested()) {
            engine_.log("Stop Issued detected when starting to wait for incoming data.");
            return;
        }
        // Read without a poll first, and wait only when the socket is empty. That saves a
        // system call per batch while datagrams keep coming.
        size_t count = socket_.receiveMany(slots);
        if (count == 0 && slots[0].received.result == UdpSocket::Result::TimedOut) {
            const UdpSocket::Result ready = socket_.waitReadable(timings.listenerWaitMs);
            if (ready == UdpSocket::Result::TimedOut) {
                cleanUp(false);
                continue;
            }
            if (engine_.stopRequested()) {
                engine_.log("Stop Issued detected in Master Server Dispatch loop.");
                return;
            }
            slots[0].received = UdpSocket::Received{};
            slots[0].received.result = ready;
            if (ready == UdpSocket::Result::Ok) {
                count = socket_.receiveMany(slots);
            }
        }
        if (count == 0) {
            const UdpSocket::Received& failed = slots[0].received;
            if (failed.result == UdpSocket::Result::TimedOut) {
                continue;
            }
            if (failed.result != UdpSocket::Result::Refused) {
                engine_.log(formatText("Recv Failed on socket %x , Error = %d", socket_.handle(),
                                       failed.error));
            }
            // The pause keeps an error that persists from spinning the thread.
            sleepMs(timings.errorPauseMs);
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            const UdpSocket::Received& got = slots[i].received;
            if (got.result == UdpSocket::Result::Truncated) {
                // Lost like any other receive error, without the pause: the read that reported
                // it consumed it, and pausing for each would let any sender stall the listener
                // with 200 large datagrams a second.
                engine_.log(formatText("Recv Failed on socket %x , Error = %d", socket_.handle(),
                                       EMSGSIZE));
                continue;
            }
            // Every field is read through the checked view: a datagram whose length field
            // disagrees with what arrived is dropped like one with a bad signature.
            if (const auto view = MessageView::read(slots[i].buffer, got.size)) {
                handleDatagram(*view, got.from);
            }
        }
        flushRelays();
        // Under a steady stream there is no receive time-out, so clean up by the clock too.
        if (platform::tickCount() - lastCleanUp_ >= timings.listenerWaitMs) {
            cleanUp(false);
        }
    }
}

void MasterServer::handleDatagram(const MessageView& message, const SocketAddress& from) {
    const KnownSender known = lookUp(from);
    if (known.own) {
        // Only a sender whose port is one of our own sessions' sockets is a local session;
        // any other program on this machine (a second client, a call to "localhost") is a
        // remote party like every other.
        if (message.code() == MSG_CONNECT_REQUEST) {
            engine_.log("Connect Request received from LOCALHOST. UNEXPECTED");
        }
        if (known.own->incoming) {
            relay(message, known.own->peerAddress);
        }
        return;
    }
    switch (message.code()) {
        case MSG_WHO_RU:
            engine_.log(formatText("MSG_WHO_RU received from %s", from.text().c_str()));
            send(buildWhoAreYouReply(engine_.userName()), from);
            return;
        case MSG_CONNECT_REQUEST:
            handleConnectRequest(message, from);
            return;
        default:
            break;
    }
    if (known.caller) {
        if (known.caller->ownAddress.port != 0) {
            relay(message, known.caller->ownAddress);
        }
        return;
    }
    if (message.code() == MSG_R_U_THERE) {
        send(buildProbeAnswer(message), from);
    } else if (message.code() == MSG_I_AM_HERE) {
        const uint32_t delay = platform::tickCount() - probeTick(message);
        engine_.notify(NotificationCode::DelayMeasured,
                       DelayRecord{SessionId{}, probeCookie(message), delay, 0});
    }
}

void MasterServer::handleConnectRequest(const MessageView& message, const SocketAddress& from) {
    const std::string sender = from.text();
    engine_.log(formatText("Connect Request received from %s", sender.c_str()));
    cleanUp(false);  // a finished request from this caller no longer counts as in progress
    if (lookUp(from).caller) {
        engine_.log(
            formatText("Ignoring: Connection from %s alredy being processed...", sender.c_str()));
        return;
    }
    if (waitingRequests_.load() >= kMaxWaitingRequests) {
        engine_.log(
            formatText("Ignoring: %d connection requests are waiting, dropping the one from %s",
                       kMaxWaitingRequests, sender.c_str()));
        return;
    }
    engine_.log(formatText("Proceeding to process with connection request from %s on a new thread",
                           sender.c_str()));
    engine_.log("New Connect Request received");

    auto session = std::make_unique<VoiceSession>(engine_, SessionType::Incoming, from);
    auto handler = std::make_shared<IncomingRequestHandler>(
        engine_, *this, *session,
        std::vector<uint8_t>(message.data(), message.data() + message.size()));
    auto thread = std::make_unique<sync::CWorkerThread>(
        [this, handler](void*) {
            const uint32_t result = handler->run();
            waitingRequests_.fetch_sub(1);
            return result;
        },
        nullptr, "Incoming connection thread");
    // The thread looks for its pair only under this semaphore, so it always finds it.
    pendingLock_.WaitOnSemaphore(sync::kInfinite);
    waitingRequests_.fetch_add(1);
    if (!thread->Start(false)) {
        waitingRequests_.fetch_sub(1);
    }
    pending_.push_back(PendingRequest{std::move(session), std::move(thread)});
    pendingLock_.SignalSemaphore();
}

MasterServer::KnownSender MasterServer::lookUp(const SocketAddress& from) {
    KnownSender known;
    // Only loopback senders can be our own sessions' sockets.
    const bool local = from.isLoopback();
    const auto check = [&](const VoiceSession& s) {
        if (local && !known.own && s.ownAddress().port != 0 && s.ownAddress() == from) {
            known.own =
                SessionMatch{s.ownAddress(), s.peerAddress(), s.type() == SessionType::Incoming};
        }
        if (!known.caller && s.type() == SessionType::Incoming && s.peerAddress() == from) {
            known.caller = SessionMatch{s.ownAddress(), s.peerAddress(), true};
        }
    };
    pendingLock_.WaitOnSemaphore(sync::kInfinite);
    {
        sync::ReadLock lock(engine_.sessionGuard());
        for (const PendingRequest& pending : pending_) {
            if (pending.session) {
                check(*pending.session);
            }
        }
        for (const auto& session : engine_.sessionsLocked()) {
            check(*session);
        }
    }
    pendingLock_.SignalSemaphore();
    return known;
}

void MasterServer::relay(const MessageView& message, const SocketAddress& to) {
    // Exactly the bytes that arrived; the view has checked that the length field agrees.
    // They stay in the receive buffer until the batch's relays have gone out.
    relays_.push_back(UdpSocket::Outgoing{to, message.data(), message.size()});
}

void MasterServer::flushRelays() {
    std::span<const UdpSocket::Outgoing> left(relays_);
    while (!left.empty()) {
        UdpSocket::Result failure = UdpSocket::Result::Ok;
        int error = 0;
        const size_t sent = socket_.sendMany(left, &failure, &error);
        if (sent == left.size()) {
            break;
        }
        if (failure != UdpSocket::Result::Refused) {
            engine_.log(
                formatText("Recv Failed on socket %x , Error = %d", socket_.handle(), error));
        }
        if (failure == UdpSocket::Result::Closed) {
            break;
        }
        sleepMs(engine_.timings().errorPauseMs);
        left = left.subspan(sent + 1);  // the one that failed is lost
    }
    relays_.clear();
}

void MasterServer::cleanUp(bool waiting) {
    lastCleanUp_ = platform::tickCount();
    for (;;) {
        bool empty = false;
        pendingLock_.WaitOnSemaphore(sync::kInfinite);
        // Wait(0) reports an end only once the thread is completely done with its wrapper,
        // so deleting the wrapper here is safe; its running flag alone would not tell that.
        std::erase_if(pending_, [](PendingRequest& pending) {
            return !pending.thread || pending.thread->Wait(0) != sync::WaitResult::TimedOut;
        });
        empty = pending_.empty();
        pendingLock_.SignalSemaphore();
        if (!waiting || empty) {
            return;
        }
        // The semaphore is released between scans: a request thread that ends with an
        // accept takes it to hand its session over.
        sleepMs(engine_.timings().requestThreadPollMs);
    }
}

}  // namespace ostrel::engine
