#include "engine/Notification.h"

namespace ostrel::engine {

std::string_view notificationName(NotificationCode code) {
    switch (code) {
        case NotificationCode::BytesSent:
            return "BYTES_SENT";
        case NotificationCode::BytesReceived:
            return "BYTES_RECEIVED";
        case NotificationCode::VoiceSent:
            return "VOICE_SENT";
        case NotificationCode::VoicePlayed:
            return "VOICE_PLAYED";
        case NotificationCode::CallActive:
            return "CALL_ACTIVE";
        case NotificationCode::ListenerBindFailed:
            return "BIND_FAILED";
        case NotificationCode::IncomingCall:
            return "INCOMING_CALL";
        case NotificationCode::ConnectionLost:
            return "CONNECTION_LOST";
        case NotificationCode::IncomingCallInCall:
            return "INCOMING_CALL_IN_CALL";
        case NotificationCode::PacketsLost:
            return "PACKETS_LOST";
        case NotificationCode::CaptureFailed:
            return "CAPTURE_FAILED";
        case NotificationCode::PlaybackFailed:
            return "PLAYBACK_FAILED";
        case NotificationCode::PeerJoined:
            return "PEER_JOINED";
        case NotificationCode::ConnectFailed:
            return "CONNECT_FAILED";
        case NotificationCode::Ringing:
            return "RINGING";
        case NotificationCode::PeerDisconnected:
            return "PEER_DISCONNECTED";
        case NotificationCode::DelayMeasured:
            return "DELAY";
        case NotificationCode::NotLoggedInThere:
            return "NOT_LOGGED_IN_THERE";
        case NotificationCode::ResolveFailed:
            return "RESOLVE_FAILED";
        case NotificationCode::AlreadyConnected:
            return "ALREADY_CONNECTED";
        case NotificationCode::CalleeBusy:
            return "BUSY";
        case NotificationCode::OtherConference:
            return "OTHER_CONFERENCE";
        case NotificationCode::DigitsSent:
            return "DIGITS_SENT";
    }
    return "UNKNOWN";
}

}  // namespace ostrel::engine
