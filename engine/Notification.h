// Every event the engine reports to its sink: a code and one parameter. Records travel by
// value inside the notification, so the receiver owns what it gets; only the incoming-call
// question is a pointer, to the record on the request thread's stack that awaits the answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "engine/ConnectionRequest.h"
#include "engine/IncomingCallRequest.h"
#include "engine/SessionId.h"
#include "engine/SessionMessage.h"

namespace ostrel::engine {

enum class NotificationCode : uint32_t {
    BytesSent = 1,
    BytesReceived = 2,
    VoiceSent = 4,
    VoicePlayed = 5,
    CallActive = 7,
    ListenerBindFailed = 8,
    IncomingCall = 9,
    ConnectionLost = 12,
    IncomingCallInCall = 15,
    PacketsLost = 17,
    CaptureFailed = 19,
    PlaybackFailed = 20,
    PeerJoined = 23,
    ConnectFailed = 24,
    Ringing = 25,
    PeerDisconnected = 26,
    DelayMeasured = 27,
    NotLoggedInThere = 28,
    ResolveFailed = 29,
    AlreadyConnected = 32,
    CalleeBusy = 33,
    OtherConference = 34,
    DigitsSent = 37,
};

// Upper-case name of a code ("CALL_ACTIVE"), "UNKNOWN" for others.
std::string_view notificationName(NotificationCode code);

// Bytes sent (1) or received (2) on a session; also packets lost (17), where bytes is the gap
// between the new and the last sequence number.
struct SessionCount {
    SessionId session;
    uint32_t count = 0;
};

// One block of 1600 samples just sent (4) or played (5).
struct PcmBlock {
    std::array<int16_t, kBlockSamples> samples{};
};

// A peer that joined (23).
struct PeerJoinedRecord {
    std::string description;  // up to 255 characters
    SessionId session;
    uint32_t peerVersion = 0;
};

// A session that is gone or never came to be (26, 29): its id for matching, and the peer
// description as it was, since the session itself is deleted right after.
struct SessionEvent {
    SessionId session;
    std::string description;
};

// A delay measurement (27). An empty session means the listener's own probe.
struct DelayRecord {
    SessionId session;
    uint32_t cookie = 0;
    uint32_t delayMs = 0;
    uint32_t queuedBlocks = 0;
};

// An automatic digit string that went out (37).
struct DigitsSentRecord {
    std::string digits;
    SessionId session;
};

using NotificationParameter =
    std::variant<std::monostate, SessionCount, PcmBlock, IncomingCallRequest*, PeerJoinedRecord,
                 ConnectionRequest, SessionEvent, DelayRecord, DigitsSentRecord>;

struct Notification {
    NotificationCode code;
    NotificationParameter parameter;
};

}  // namespace ostrel::engine
