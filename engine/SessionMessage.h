// The one frame of every datagram the engine, the gateway lookup and the reference gateway
// exchange: a 13-byte header ("QVX\0", code, sample count, payload length) and a payload.
// Building and reading are pure functions on buffers; they know nothing of sockets or threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ostrel::engine {

// Message codes of the wire protocol.
enum MessageCode : uint8_t {
    MSG_CONNECT_REQUEST = 1,
    MSG_CONNECT_ACCEPT = 2,
    MSG_VOICE = 3,
    MSG_HANGUP = 4,
    MSG_RING_STOPPED = 7,
    MSG_RINGING = 8,
    MSG_R_U_THERE = 9,
    MSG_I_AM_HERE = 16,
    MSG_WHO_RU = 17,
    MSG_WHO_RU_REPLY = 18,
    MSG_BUSY = 19,
    MSG_NOT_LOGGED_IN_HERE = 20,
    MSG_OTHER_CONFERENCE = 21,
    MSG_GATEWAY_LOOKUP = 23,
    MSG_GATEWAY_LOOKUP_REPLY = 24,
    MSG_DTMF = 25,
    MSG_DTMF_ACK = 26,
};

inline constexpr uint32_t kProtocolVersion = 6;

inline constexpr size_t kHeaderSize = 13;
inline constexpr size_t kConnectPayloadSize = 400;
inline constexpr size_t kGsmFrameBytes = 33;
inline constexpr size_t kFrameSamples = 160;
inline constexpr size_t kBlockSamples = 1600;  // 200 ms at 8000 Hz
inline constexpr size_t kBlockBytes = kBlockSamples * 2;
inline constexpr size_t kBlockFrames = kBlockSamples / kFrameSamples;
inline constexpr size_t kVoiceFramesSize = kBlockFrames * kGsmFrameBytes;  // 330
inline constexpr uint16_t kVoiceTrailerSize = 6;
inline constexpr size_t kVoicePayloadSize = kVoiceFramesSize + kVoiceTrailerSize;  // 336
inline constexpr size_t kProbePayloadSize = 12;
inline constexpr size_t kWhoAreYouReplySize = 136;
inline constexpr size_t kDtmfPayloadSize = 69;
inline constexpr size_t kDtmfAckSize = 5;
inline constexpr size_t kGatewayLookupSize = 2;
inline constexpr size_t kGatewayLookupReplySize = 131;

// Receive buffer sizes; a longer datagram is a receive error.
inline constexpr size_t kReceiveBufferSize = 4096;
inline constexpr size_t kHandshakeBufferSize = 32768;

// Field offsets inside the connect request and accept payloads.
namespace connect_field {
inline constexpr size_t kUserName = 0, kUserNameWidth = 64;
inline constexpr size_t kVersion = 64;
inline constexpr size_t kBridgeType = 74;
inline constexpr size_t kIdentity = 80, kIdentityWidth = 64;
inline constexpr size_t kConferenceGuid = 144, kConferenceGuidWidth = 64;
inline constexpr size_t kConfirmUser = 208, kConfirmUserWidth = 64;
inline constexpr size_t kConnectionString = 272, kConnectionStringWidth = 128;
}  // namespace connect_field

inline constexpr size_t kDtmfDigitsOffset = 5, kDtmfDigitsWidth = 64;
inline constexpr size_t kWhoAreYouNameWidth = 64;

// A message being built: a zero-filled buffer large enough for every message we send, so
// every byte not assigned is zero on the wire.
class SessionMessage {
public:
    static constexpr size_t kCapacity = kHeaderSize + kConnectPayloadSize;

    explicit SessionMessage(uint8_t code = 0, uint32_t payloadLength = 0);

    uint8_t code() const { return bytes_[4]; }
    uint32_t sampleCount() const;
    uint32_t payloadLength() const;
    void setSampleCount(uint32_t count);
    // Clamped to the buffer's capacity.
    void setPayloadLength(uint32_t length);

    uint8_t* payload() { return bytes_.data() + kHeaderSize; }
    const uint8_t* payload() const { return bytes_.data() + kHeaderSize; }
    static constexpr size_t payloadCapacity() { return kCapacity - kHeaderSize; }

    // The datagram to send: exactly header + payload length bytes.
    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return kHeaderSize + payloadLength(); }

    // Writers ignore anything that would fall outside the buffer.
    void putU8(size_t payloadOffset, uint8_t value);
    void putU16(size_t payloadOffset, uint16_t value);
    void putU32(size_t payloadOffset, uint32_t value);
    // Copies at most width - 1 bytes, so the field always ends in NUL.
    void putText(size_t payloadOffset, size_t width, std::string_view text);
    void putBytes(size_t payloadOffset, std::span<const uint8_t> bytes);

    // For a voice message whose payload holds the 330 frame bytes: writes the trailer length 6
    // and `counter` after the frames, increments the counter and grows the payload by 6.
    // False (and nothing changed) when the payload length is not 330.
    bool appendVoiceTrailer(uint32_t& counter);

private:
    std::array<uint8_t, kCapacity> bytes_{};
};

// A received datagram that passed every structural check; field reads never leave it.
class MessageView {
public:
    enum class Error {
        None,
        TooShort,        // fewer than 13 bytes
        BadSignature,    // not "QVX\0"
        LengthMismatch,  // payloadLength differs from what arrived
        BadTrailer,      // voice trailer length field unreadable or larger than the payload
        TooManyFrames,   // voice payload of more frames than one 1600-sample block
    };

    // Checks `received` bytes of `data`. On failure returns nothing and, if asked, the reason.
    static std::optional<MessageView> read(const uint8_t* data, size_t received,
                                           Error* error = nullptr);

    uint8_t code() const { return data_[4]; }
    uint32_t sampleCount() const { return sampleCount_; }
    uint32_t payloadLength() const { return payloadLength_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return kHeaderSize + payloadLength_; }
    std::span<const uint8_t> payload() const { return {data_ + kHeaderSize, payloadLength_}; }

    // Bytes beyond the payload read as zero; text stops at NUL, the field width or the payload.
    uint8_t u8(size_t offset) const;
    uint16_t u16(size_t offset) const;
    uint32_t u32(size_t offset) const;
    std::string text(size_t offset, size_t width) const;

    // Voice packets only (0 / false otherwise).
    uint16_t trailerLength() const { return trailerLength_; }
    bool hasSequence() const { return trailerLength_ == kVoiceTrailerSize; }
    uint32_t sequence() const;
    size_t frameCount() const { return frameCount_; }

private:
    MessageView(const uint8_t* data, uint32_t sampleCount, uint32_t payloadLength)
        : data_(data), sampleCount_(sampleCount), payloadLength_(payloadLength) {}

    const uint8_t* data_;
    uint32_t sampleCount_;
    uint32_t payloadLength_;
    uint16_t trailerLength_ = 0;
    size_t frameCount_ = 0;
};

// True when the first four bytes are the signature (enough bytes provided).
bool hasSignature(const uint8_t* data, size_t size);

// The fields of a connect request or accept.
struct ConnectFields {
    std::string userName;
    uint32_t version = kProtocolVersion;
    uint8_t bridgeType = 0;
    std::string identity;
    std::string conferenceGuid;
    std::string confirmUser;       // request only
    std::string connectionString;  // request only
};

SessionMessage buildEmpty(uint8_t code);
SessionMessage buildConnectRequest(const ConnectFields& fields);
// Writes the fields marked for both messages: name, version, identity, conference GUID.
SessionMessage buildConnectAccept(const ConnectFields& fields);
SessionMessage buildProbe(uint32_t tick, uint32_t cookie);
// MSG_I_AM_HERE echoing the first 8 payload bytes of the probe.
SessionMessage buildProbeAnswer(const MessageView& probe);
SessionMessage buildWhoAreYouReply(std::string_view userName);
SessionMessage buildDtmf(uint32_t sequence, std::string_view digits);
// MSG_DTMF_ACK copying kind and sequence of the digit message.
SessionMessage buildDtmfAck(const MessageView& dtmf);
SessionMessage buildGatewayLookup();
SessionMessage buildGatewayLookupReply(std::string_view gatewayHost, uint16_t gatewayPort);

// Reads a connect request by the version it announces: below 5 only the user name, and the
// peer counts as version 1; from 5 on every field with the announced version.
ConnectFields readConnectRequest(const MessageView& request);
// Reads an accept; an empty payload comes from an old peer that keeps the dialled name.
ConnectFields readConnectAccept(const MessageView& accept, std::string_view dialledName);

// Probe fields (MSG_R_U_THERE and MSG_I_AM_HERE).
inline uint32_t probeTick(const MessageView& m) {
    return m.u32(0);
}
inline uint32_t probeCookie(const MessageView& m) {
    return m.u32(4);
}
// Digit message fields (MSG_DTMF and MSG_DTMF_ACK).
inline uint32_t dtmfSequence(const MessageView& m) {
    return m.u32(1);
}
inline std::string dtmfDigits(const MessageView& m) {
    return m.text(kDtmfDigitsOffset, kDtmfDigitsWidth);
}

}  // namespace ostrel::engine
