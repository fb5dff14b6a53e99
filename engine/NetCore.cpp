#include "engine/NetCore.h"

#include <algorithm>

#include "engine/MasterServer.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"
#include "sync/ThreadMessages.h"

namespace ostrel::engine {

using platform::SocketAddress;

namespace {

constexpr uint32_t kSendKeepAliveMessage = sync::WM_USER + 3;

}  // namespace

NetCore::NetCore(std::string identity, uint16_t listeningPort, EngineSink& sink,
                 std::string userName, uint32_t protocolVersion, EngineTimings timings)
    : sink_(sink),
      identity_(std::move(identity)),
      configuredPort_(listeningPort),
      protocolVersion_(protocolVersion),
      timings_(timings),
      userName_(std::move(userName)) {
    sessionGuard_.Initialize(nullptr);
    {
        sync::WriteLock lock(sessionGuard_);
        sessions_.push_back(std::make_unique<VoiceSession>(*this, SessionType::Local));
    }
    server_ = std::make_unique<MasterServer>(*this);
    listening_.store(startServer());
}

NetCore::~NetCore() {
    stop();
    log("destructing NetCore()");
    sync::WriteLock lock(sessionGuard_);
    sessions_.clear();
}

void NetCore::notify(NotificationCode code, NotificationParameter parameter) {
    sink_.notify(Notification{code, std::move(parameter)});
}

std::string NetCore::userName() const {
    std::lock_guard lock(userNameLock_);
    return userName_;
}

void NetCore::setUserName(std::string_view name) {
    std::lock_guard lock(userNameLock_);
    userName_ = std::string(name);
}

std::string NetCore::conferenceGuid() const {
    std::lock_guard lock(conferenceLock_);
    return conferenceGuid_;
}

void NetCore::adoptConferenceGuid(std::string guid) {
    std::lock_guard lock(conferenceLock_);
    conferenceGuid_ = std::move(guid);
}

uint16_t NetCore::listeningPort() const {
    {
        // The listener knows its port before its thread runs; the cached copy outlives it.
        std::shared_lock lock(serverLock_);
        if (server_ && server_->boundPort() != 0) {
            return server_->boundPort();
        }
    }
    const uint16_t bound = boundPort_.load();
    return bound != 0 ? bound : configuredPort_;
}

bool NetCore::startServer() {
    std::shared_lock lock(serverLock_);
    if (!server_) {
        log("Server already running");  // stopped engines are never started again
        return false;
    }
    if (!server_->start(configuredPort_)) {
        return false;
    }
    boundPort_.store(server_->boundPort());
    return true;
}

bool NetCore::sendFromListener(const SessionMessage& message, const SocketAddress& to) {
    std::shared_lock lock(serverLock_);
    return server_ && server_->isRunning() && server_->send(message, to);
}

bool NetCore::probe(uint32_t cookie, const SocketAddress& to) {
    std::shared_lock lock(serverLock_);
    return server_ && server_->isRunning() && server_->probe(cookie, to);
}

void NetCore::sendKeepAliveProbes() {
    // The probes go out from the record-send thread, which exists once a call is active.
    const sync::ThreadId recordSend = recordSendThreadId_.load();
    if (callActive_.load() && recordSend != 0) {
        sync::postThreadMessage(recordSend, kSendKeepAliveMessage);
    }
}

void NetCore::startVoiceThreads() {
    if (threadsStarted_.exchange(true)) {
        return;
    }
    callActive_.store(true);
    notify(NotificationCode::CallActive);
}

void NetCore::appendSessionLocked(std::unique_ptr<VoiceSession> session) {
    session->assignSessionGuid();
    sessions_.push_back(std::move(session));
}

SessionId NetCore::connect(const ConnectionRequest& request) {
    if (!request.viaBridge) {
        if (const auto ip = platform::resolveIpv4(request.address)) {
            const SocketAddress target{*ip, request.port};
            bool already = false;
            {
                sync::ReadLock lock(sessionGuard_);
                for (const auto& s : sessions_) {
                    if (!s->isConnected()) {
                        continue;
                    }
                    const SocketAddress& talksTo =
                        s->type() == SessionType::Incoming ? s->peerAddress() : s->destination();
                    if (talksTo == target || (!request.expectedUser.empty() &&
                                              s->peerUserName() == request.expectedUser)) {
                        already = true;
                        break;
                    }
                }
            }
            if (already) {
                notify(NotificationCode::AlreadyConnected, request.withClearedCancel());
                return {};
            }
        }
    }
    auto session = std::make_unique<VoiceSession>(*this, SessionType::Outgoing);
    if (!session->connect(request)) {
        return {};
    }
    sync::WriteLock lock(sessionGuard_);
    if (!run_.load()) {
        // Stop hung up every session while the callee was accepting.
        session->disconnect(true);
        notify(NotificationCode::ConnectFailed, request);
        return {};
    }
    const SessionId id = session->id();
    PeerJoinedRecord joined{session->peerDescription(), id, session->peerVersion()};
    appendSessionLocked(std::move(session));
    if (!threadsStarted_.load()) {
        startVoiceThreads();
    }
    notify(NotificationCode::PeerJoined, std::move(joined));
    return id;
}

void NetCore::stop() {
    if (stopped_.exchange(true)) {
        return;
    }
    log("Stop Issued");
    run_.store(false);
    hangUpAll(true);
    stop_.store(true);
    MasterServer* server = nullptr;
    {
        std::shared_lock lock(serverLock_);
        server = server_.get();
    }
    // Waits without the pointer's lock: request threads may still send through the listener
    // while the user answers.
    if (server != nullptr) {
        server->waitUntilEnded();
    }
    std::unique_ptr<MasterServer> ended;
    {
        std::unique_lock lock(serverLock_);
        ended = std::move(server_);
    }
}

void NetCore::hangUpAll(bool sendHangup) {
    sync::WriteLock lock(sessionGuard_);
    for (const auto& session : sessions_) {
        session->disconnect(sendHangup);
    }
    sessions_.clear();
}

bool NetCore::removeSession(SessionId id) {
    sync::WriteLock lock(sessionGuard_);
    const auto found = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& s) {
        return s->id() == id && s->type() != SessionType::Local;
    });
    if (found == sessions_.end()) {
        return false;
    }
    (*found)->disconnect(true);
    sessions_.erase(found);
    const bool anyConnected = std::any_of(sessions_.begin(), sessions_.end(),
                                          [](const auto& s) { return s->isConnected(); });
    if (!anyConnected && !stop_.load()) {
        notify(NotificationCode::ConnectionLost);
    }
    return true;
}

bool NetCore::hangUp(SessionId session) {
    return removeSession(session);
}

std::vector<ConnectedPeer> NetCore::connectedPeers() const {
    std::vector<ConnectedPeer> peers;
    sync::ReadLock lock(sessionGuard_);
    for (const auto& s : sessions_) {
        if (s->isConnected()) {
            peers.push_back(ConnectedPeer{s->id(), s->peerDescription()});
        }
    }
    return peers;
}

void NetCore::sendDigits(std::string_view digits, SessionId session) {
    sync::ReadLock lock(sessionGuard_);
    for (const auto& s : sessions_) {
        if (s->type() != SessionType::Local && s->isConnected() &&
            (!session || s->id() == session)) {
            s->sendDigits(digits);
        }
    }
}

void NetCore::forEachSession(const std::function<void(VoiceSession&)>& visit) {
    sync::ReadLock lock(sessionGuard_);
    for (const auto& s : sessions_) {
        visit(*s);
    }
}

}  // namespace ostrel::engine
