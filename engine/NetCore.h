// The voice session engine object: settings of the running client (identity, user name,
// listening port), the conference state, the session list under its guard, and the listener.
// Window threads call the Engine operations; the listener and request threads use the rest.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "audio/WaveBackend.h"
#include "engine/Engine.h"
#include "engine/EngineSink.h"
#include "engine/EngineTimings.h"
#include "engine/Notification.h"
#include "engine/SessionMessage.h"
#include "sync/CSWMRG.h"
#include "sync/ThreadId.h"

namespace ostrel::engine {

class MasterServer;
class PeriodicTimer;
class VoiceSession;
class VoiceStreams;

class NetCore final : public Engine {
public:
    // Creates the local session and starts the listener on `listeningPort` (0: a free port
    // the system picks). Construction never fails; see isListening(). The voice devices use
    // `audioBackend`, or the process's backend (chosen from the environment) when null.
    NetCore(std::string identity, uint16_t listeningPort, EngineSink& sink, std::string userName,
            uint32_t protocolVersion = kProtocolVersion, EngineTimings timings = {},
            audio::WaveBackend* audioBackend = nullptr);
    ~NetCore() override;

    SessionId connect(const ConnectionRequest& request) override;
    bool startServer() override;
    void stop() override;
    bool isCallActive() const override { return callActive_.load(); }
    bool probe(uint32_t cookie, const platform::SocketAddress& to) override;
    void sendKeepAliveProbes() override;
    std::string conferenceGuid() const override;
    void setRecording(bool on) override { recording_.store(on); }
    void setUserName(std::string_view name) override;
    void setSequenceCheck(bool on) override { sequenceCheck_.store(on); }
    std::vector<ConnectedPeer> connectedPeers() const override;
    bool hangUp(SessionId session) override;
    void sendDigits(std::string_view digits, SessionId session = {}) override;
    bool isListening() const override { return listening_.load(); }

    // --- For the engine's own classes ---

    void log(std::string_view text) { sink_.log(text); }
    EngineSink& sink() { return sink_; }
    void notify(NotificationCode code, NotificationParameter parameter = {});

    std::string userName() const;
    const std::string& identity() const { return identity_; }
    uint32_t protocolVersion() const { return protocolVersion_; }
    const EngineTimings& timings() const { return timings_; }
    bool stopRequested() const { return stop_.load(); }
    bool isRunning() const { return run_.load(); }
    bool sequenceCheck() const { return sequenceCheck_.load(); }
    bool isRecording() const { return recording_.load(); }
    bool threadsStarted() const { return threadsStarted_.load(); }
    // Whether the last captured block went out (false while the microphone is silent).
    bool isTransmitting() const { return transmitting_.load(); }
    void setTransmitting(bool on) { transmitting_.store(on); }
    // Sessions in the list, the local one included.
    size_t sessionCount() const { return sessionCount_.load(); }
    bool isLocalSession(SessionId id) const { return id == localSessionId_; }
    // The voice threads' object (for tests and benchmarks of its passes).
    VoiceStreams& voiceStreams() { return *voice_; }

    // The one-second tick: digit resends; every 10th tick keep-alive probes; every 60th the
    // sweep of peers not heard for 45 s. Runs on the timer thread.
    void tick();

    // The port the listener is bound to (the configured one until it is).
    uint16_t listeningPort() const;
    // Sends from the listening socket (relay, hang-up of incoming sessions).
    bool sendFromListener(const SessionMessage& message, const platform::SocketAddress& to);

    void adoptConferenceGuid(std::string guid);

    // Starts the voice threads of the first connected call and reports the call active.
    // Callers hold the session list's write lock and call it only while threadsStarted() is
    // false.
    void startVoiceThreads();

    // The session list: shared lock for walks, exclusive for changes. Where the listener's
    // pending-list semaphore is held too, it is taken first.
    sync::CSWMRG& sessionGuard() { return sessionGuard_; }
    // Caller holds the guard (either side).
    const std::vector<std::unique_ptr<VoiceSession>>& sessionsLocked() const { return sessions_; }
    // Caller holds the write lock. Gives the session its session GUID.
    void appendSessionLocked(std::unique_ptr<VoiceSession> session);

    // Removes one remote session with a hang-up; when no connected session is left and the
    // engine is not stopping, the call is over (notification 12). False if not in the list.
    bool removeSession(SessionId session);

    // Walks the session list under the shared lock.
    void forEachSession(const std::function<void(VoiceSession&)>& visit);

private:
    // Under the write lock: disconnect and delete every session, the local one included.
    void hangUpAll(bool sendHangup);

    EngineSink& sink_;
    const std::string identity_;
    const uint16_t configuredPort_;
    const uint32_t protocolVersion_;
    const EngineTimings timings_;

    mutable std::mutex userNameLock_;  // guards userName_
    std::string userName_;
    mutable std::mutex conferenceLock_;  // guards conferenceGuid_
    std::string conferenceGuid_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> run_{true};
    std::atomic<bool> stopped_{false};  // Stop has been called
    std::atomic<bool> threadsStarted_{false};
    std::atomic<bool> callActive_{false};
    std::atomic<bool> sequenceCheck_{true};
    std::atomic<bool> recording_{false};
    std::atomic<bool> listening_{false};

    std::atomic<bool> transmitting_{false};
    std::atomic<size_t> sessionCount_{0};
    SessionId localSessionId_;
    uint32_t ticks_ = 0;  // timer thread only

    std::unique_ptr<VoiceStreams> voice_;
    // Guards timer_: created under the session list's write lock, killed by Stop.
    std::mutex timerLock_;
    std::unique_ptr<PeriodicTimer> timer_;

    mutable sync::CSWMRG sessionGuard_;  // guards sessions_
    std::vector<std::unique_ptr<VoiceSession>> sessions_;

    std::atomic<uint16_t> boundPort_{0};
    // Guards the pointer server_ (not the server): shared for every use, exclusive when Stop
    // deletes the listener after its thread has ended.
    mutable std::shared_mutex serverLock_;
    std::unique_ptr<MasterServer> server_;
};

}  // namespace ostrel::engine
