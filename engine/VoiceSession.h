// One participant of the conference: the local user, a caller relayed through the listening
// port, or a callee reached from a socket of its own. Created on the listener's request
// threads and the connecting thread; once in the engine's list it is used under the list guard.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include <memory>

#include "audio/SpeechCodec.h"
#include "engine/ConnectionRequest.h"
#include "engine/PcmQueue.h"
#include "engine/SessionId.h"
#include "engine/SessionMessage.h"
#include "platform/SocketAddress.h"
#include "platform/UdpSocket.h"
#include "sync/CSem.h"

namespace ostrel::engine {

class NetCore;

enum class SessionType : uint32_t { Local = 0, Incoming = 1, Outgoing = 2 };

class VoiceSession {
public:
    // Digit messages in flight at most, and how many of them one resend pass looks at.
    static constexpr size_t kMaxDigitsInFlight = 6;
    static constexpr size_t kDigitsResentPerPass = 5;
    static constexpr uint32_t kDigitResendMs = 2000;
    // Decoded voice waiting for the mixer: 5 blocks are one second.
    static constexpr size_t kPcmQueueBlocks = 5;
    // A gateway call is unmuted this long after its last automatic digit string, so the
    // network has taken the digits before our voice reaches it.
    static constexpr uint32_t kUnmuteDelayMs = 1000;

    // Local and incoming sessions bind a socket to 127.0.0.1 with a system-chosen port; the
    // local one sends to itself, an incoming one to the listening port, which relays to
    // `peer`. An outgoing session gets its socket when it connects.
    VoiceSession(NetCore& engine, SessionType type, const platform::SocketAddress& peer = {});
    ~VoiceSession();

    VoiceSession(const VoiceSession&) = delete;
    VoiceSession& operator=(const VoiceSession&) = delete;

    SessionId id() const { return id_; }
    SessionType type() const { return type_; }
    NetCore& engine() { return engine_; }

    platform::UdpSocket& socket() { return socket_; }
    // Where the socket is bound (local and incoming sessions); port 0 when it has none.
    const platform::SocketAddress& ownAddress() const { return ownAddress_; }
    // The remote caller as the listener saw it (incoming sessions).
    const platform::SocketAddress& peerAddress() const { return peerAddress_; }
    const platform::SocketAddress& destination() const { return destination_; }

    const std::string& peerUserName() const { return peerUserName_; }
    const std::string& peerIdentity() const { return peerIdentity_; }
    uint32_t peerVersion() const { return peerVersion_; }
    void setPeer(std::string userName, std::string identity, uint32_t version);

    // The name shown for the peer: the user name, or the bridge's destination.
    std::string peerDescription() const;

    bool isConnected() const { return connected_.load(); }
    uint32_t connectTime() const { return connectTime_.load(); }
    uint32_t lastHeard() const { return lastHeard_.load(); }
    void noteHeard();
    // Connected from now on.
    void markConnected();

    const std::string& sessionGuid() const { return sessionGuid_; }
    void assignSessionGuid();

    bool isMuted() const { return muted_.load(); }
    void setMuted(bool muted) { muted_.store(muted); }

    // Last voice sequence number received (0 before the first).
    uint32_t voiceSequenceIn() const { return voiceSequenceIn_.load(); }
    void setVoiceSequenceIn(uint32_t sequence) { voiceSequenceIn_.store(sequence); }

    // Last digit message number taken from the peer (0 before the first).
    uint32_t digitSequenceIn() const { return digitSequenceIn_.load(); }

    // Coders of this session's two directions: the mixer encodes what goes to the peer, the
    // receive pass decodes what comes from it. Each is used by one thread at a time.
    audio::SpeechCodec* encoder() { return encoder_.get(); }
    audio::SpeechCodec* decoder() { return decoder_.get(); }
    PcmQueue& pcmQueue() { return pcmQueue_; }

    // Numbers the voice message (trailer) and sends it. Called by one thread at a time per
    // session: the record-send thread for the local session, the mixer for remote ones.
    bool sendVoice(SessionMessage& message, int* error = nullptr);

    // A datagram other than voice read from the session socket: hang-up, probes, digits.
    // True when the peer hung up and the session is to be removed.
    bool handleControl(const MessageView& message, const platform::SocketAddress& from);

    // Whether a datagram from `from` belongs to this conversation: the destination's address
    // (the listener, 127.0.0.1, for an incoming session; the socket itself for the local one).
    bool isFromPeer(const platform::SocketAddress& from) const;

    // Sends the automatic digit strings of a gateway call when their time has come, and
    // unmutes the session after the last. Receive-play thread only.
    void runAutomaticDigits(uint32_t now);

    // The caller's request, kept by an outgoing session.
    const ConnectionRequest& request() const { return request_; }

    uint32_t sentBytes() const { return sentBytes_.load(); }
    uint32_t receivedBytes() const { return receivedBytes_.load(); }
    void addReceivedBytes(uint32_t bytes) { receivedBytes_ += bytes; }

    // Sends to the destination from the session socket, counts the bytes and reports them.
    bool send(const SessionMessage& message, int* error = nullptr);

    // Runs the outgoing handshake with `request`; true once the callee accepted.
    bool connect(const ConnectionRequest& request);

    // Ends the conversation: reports it if connected, sends a hang-up when asked (an incoming
    // session through the listening port), and closes the socket in every case.
    void disconnect(bool sendHangup);
    void closeSocket() { socket_.close(); }

    // Telephone digits to a peer of version 6 or later: numbered, sent at once while fewer
    // than 6 are in flight, and kept until acknowledged.
    void sendDigits(std::string_view digits);
    void acknowledgeDigits(uint32_t sequence);
    // Sends again each of the first 5 pending digit messages last sent over 2 s before `now`.
    void resendPendingDigits(uint32_t now);
    size_t pendingDigitCount();

private:
    struct PendingDigits {
        uint32_t sequence;
        uint32_t sentAt;
        SessionMessage message;
    };

    NetCore& engine_;
    const SessionId id_;
    const SessionType type_;
    platform::UdpSocket socket_;
    platform::SocketAddress ownAddress_;
    platform::SocketAddress peerAddress_;
    platform::SocketAddress destination_;

    // Written before the session is published (pending list or engine list), read-only after.
    std::string peerUserName_;
    std::string peerIdentity_;
    uint32_t peerVersion_ = 1;
    std::string sessionGuid_;
    ConnectionRequest request_;

    std::atomic<bool> connected_{false};
    std::atomic<uint32_t> connectTime_{0};
    std::atomic<uint32_t> lastHeard_{0};
    std::atomic<bool> muted_{false};
    std::atomic<uint32_t> voiceSequenceIn_{0};
    std::atomic<uint32_t> sentBytes_{0};
    std::atomic<uint32_t> receivedBytes_{0};

    std::atomic<uint32_t> digitSequenceIn_{0};
    uint32_t voiceSequenceOut_ = 1;  // see sendVoice
    std::unique_ptr<audio::SpeechCodec> encoder_;
    std::unique_ptr<audio::SpeechCodec> decoder_;
    PcmQueue pcmQueue_{kPcmQueueBlocks};

    // Automatic digits, receive-play thread only.
    bool digitStepSent_[3] = {false, false, false};
    bool digitsDone_ = false;
    uint32_t digitsDoneTime_ = 0;

    sync::CSem connectLock_;  // held for the whole outgoing handshake
    sync::CSem digitLock_;    // guards digitSequenceOut_ and pendingDigits_
    uint32_t digitSequenceOut_ = 1;
    std::deque<PendingDigits> pendingDigits_;
};

}  // namespace ostrel::engine
