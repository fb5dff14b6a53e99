#include "engine/NetCore.h"

#include <algorithm>

#include <chrono>
#include <thread>

#include "engine/MasterServer.h"
#include "engine/PeriodicTimer.h"
#include "engine/VoiceSession.h"
#include "engine/VoiceStreams.h"
#include "platform/Platform.h"

namespace ostrel::engine {

using platform::SocketAddress;

NetCore::NetCore(std::string identity, uint16_t listeningPort, EngineSink& sink,
                 std::string userName, uint32_t protocolVersion, EngineTimings timings,
                 audio::WaveBackend* audioBackend)
    : sink_(sink),
      identity_(std::move(identity)),
      configuredPort_(listeningPort),
      protocolVersion_(protocolVersion),
      timings_(timings),
      userName_(std::move(userName)),
      voice_(std::make_unique<VoiceStreams>(*this, audioBackend)) {
    sessionGuard_.Initialize(nullptr);
    {
        sync::WriteLock lock(sessionGuard_);
        sessions_.push_back(std::make_unique<VoiceSession>(*this, SessionType::Local));
        localSessionId_ = sessions_.front()->id();
        sessionCount_.store(sessions_.size());
    }
    server_ = std::make_unique<MasterServer>(*this);
    listening_.store(startServer());
}

NetCore::~NetCore() {
    stop();
    log("destructing NetCore()");
    {
        sync::WriteLock lock(sessionGuard_);
        sessions_.clear();
        sessionCount_.store(0);
    }
    voice_.reset();
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
    if (callActive_.load()) {
        voice_->postKeepAlive();
    }
}

void NetCore::startVoiceThreads() {
    if (threadsStarted_.exchange(true)) {
        return;
    }
    callActive_.store(true);
    voice_->start();
    {
        std::lock_guard lock(timerLock_);
        if (!stop_.load()) {
            timer_ = std::make_unique<PeriodicTimer>(timings_.tickMs, [this] { tick(); });
        }
    }
    notify(NotificationCode::CallActive);
}

void NetCore::tick() {
    ++ticks_;
    if (stop_.load() || !run_.load() || !callActive_.load()) {
        return;
    }
    {
        sync::ReadLock lock(sessionGuard_);
        const uint32_t now = platform::tickCount();
        for (const auto& s : sessions_) {
            s->resendPendingDigits(now);
        }
    }
    if (timings_.probeTicks != 0 && ticks_ % timings_.probeTicks == 0) {
        sendKeepAliveProbes();
    }
    if (timings_.sweepTicks != 0 && ticks_ % timings_.sweepTicks == 0) {
        sync::WriteLock lock(sessionGuard_);
        for (;;) {
            // Read under the write lock, so no receive pass moves a last-heard time past it.
            const uint32_t now = platform::tickCount();
            SessionId silent;
            for (const auto& s : sessions_) {
                if (s->type() != SessionType::Local &&
                    now - s->lastHeard() >= timings_.silentPeerMs) {
                    silent = s->id();
                    break;
                }
            }
            if (!silent || !removeSession(silent)) {
                break;
            }
        }
    }
}

void NetCore::appendSessionLocked(std::unique_ptr<VoiceSession> session) {
    session->assignSessionGuid();
    sessions_.push_back(std::move(session));
    sessionCount_.store(sessions_.size());
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
    {
        std::lock_guard lock(timerLock_);
        if (timer_) {
            timer_->kill();
        }
    }
    const auto pause = [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(timings_.stopPauseMs));
    };
    pause();
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
    if (voice_->started()) {
        pause();
        voice_->endRecordSend();
        voice_->waitReceivePlay();
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
    sessionCount_.store(0);
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
    sessionCount_.store(sessions_.size());
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
