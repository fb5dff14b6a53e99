#include "engine/SessionMessage.h"

#include <algorithm>
#include <cstring>

namespace ostrel::engine {

namespace {

constexpr uint8_t kSignature[4] = {'Q', 'V', 'X', '\0'};
constexpr size_t kSampleCountOffset = 5;
constexpr size_t kPayloadLengthOffset = 9;

uint32_t loadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void storeU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

SessionMessage::SessionMessage(uint8_t code, uint32_t payloadLength) {
    std::memcpy(bytes_.data(), kSignature, sizeof kSignature);
    bytes_[4] = code;
    setPayloadLength(payloadLength);
}

uint32_t SessionMessage::sampleCount() const {
    return loadU32(bytes_.data() + kSampleCountOffset);
}

uint32_t SessionMessage::payloadLength() const {
    return loadU32(bytes_.data() + kPayloadLengthOffset);
}

void SessionMessage::setSampleCount(uint32_t count) {
    storeU32(bytes_.data() + kSampleCountOffset, count);
}

void SessionMessage::setPayloadLength(uint32_t length) {
    storeU32(bytes_.data() + kPayloadLengthOffset,
             std::min<uint32_t>(length, static_cast<uint32_t>(payloadCapacity())));
}

void SessionMessage::putU8(size_t offset, uint8_t value) {
    if (offset < payloadCapacity()) {
        payload()[offset] = value;
    }
}

void SessionMessage::putU16(size_t offset, uint16_t value) {
    if (offset + 2 <= payloadCapacity()) {
        payload()[offset] = static_cast<uint8_t>(value);
        payload()[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
}

void SessionMessage::putU32(size_t offset, uint32_t value) {
    if (offset + 4 <= payloadCapacity()) {
        storeU32(payload() + offset, value);
    }
}

void SessionMessage::putText(size_t offset, size_t width, std::string_view text) {
    if (width == 0 || offset + width > payloadCapacity()) {
        return;
    }
    const size_t n = std::min(text.size(), width - 1);
    std::memcpy(payload() + offset, text.data(), n);
    std::memset(payload() + offset + n, 0, width - n);
}

void SessionMessage::putBytes(size_t offset, std::span<const uint8_t> bytes) {
    if (offset + bytes.size() <= payloadCapacity()) {
        std::memcpy(payload() + offset, bytes.data(), bytes.size());
    }
}

bool SessionMessage::appendVoiceTrailer(uint32_t& counter) {
    if (payloadLength() != kVoiceFramesSize) {
        return false;
    }
    putU16(kVoiceFramesSize, kVoiceTrailerSize);
    putU32(kVoiceFramesSize + 2, counter);
    ++counter;
    setPayloadLength(kVoicePayloadSize);
    return true;
}

bool hasSignature(const uint8_t* data, size_t size) {
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

std::optional<MessageView> MessageView::read(const uint8_t* data, size_t received, Error* error) {
    const auto fail = [error](Error e) {
        if (error != nullptr) {
            *error = e;
        }
        return std::nullopt;
    };
    if (data == nullptr || received < kHeaderSize) {
        return fail(Error::TooShort);
    }
    if (!hasSignature(data, received)) {
        return fail(Error::BadSignature);
    }
    const uint32_t payloadLength = loadU32(data + kPayloadLengthOffset);
    if (payloadLength != received - kHeaderSize) {
        return fail(Error::LengthMismatch);
    }
    MessageView view(data, loadU32(data + kSampleCountOffset), payloadLength);
    if (view.code() == MSG_VOICE) {
        if (payloadLength > kVoiceFramesSize) {
            if (payloadLength < kVoiceFramesSize + 2) {
                return fail(Error::BadTrailer);
            }
            view.trailerLength_ = view.u16(kVoiceFramesSize);
            if (view.trailerLength_ > payloadLength ||
                (view.trailerLength_ == kVoiceTrailerSize &&
                 kVoiceFramesSize + kVoiceTrailerSize > payloadLength)) {
                return fail(Error::BadTrailer);
            }
        }
        view.frameCount_ = (payloadLength - view.trailerLength_) / kGsmFrameBytes;
        if (view.frameCount_ > kBlockFrames) {
            return fail(Error::TooManyFrames);
        }
    }
    if (error != nullptr) {
        *error = Error::None;
    }
    return view;
}

uint8_t MessageView::u8(size_t offset) const {
    return offset < payloadLength_ ? data_[kHeaderSize + offset] : 0;
}

uint16_t MessageView::u16(size_t offset) const {
    return static_cast<uint16_t>(u8(offset) | u8(offset + 1) << 8);
}

uint32_t MessageView::u32(size_t offset) const {
    if (offset + 4 <= payloadLength_) {
        return loadU32(data_ + kHeaderSize + offset);
    }
    return static_cast<uint32_t>(u8(offset)) | static_cast<uint32_t>(u8(offset + 1)) << 8 |
           static_cast<uint32_t>(u8(offset + 2)) << 16 |
           static_cast<uint32_t>(u8(offset + 3)) << 24;
}

std::string MessageView::text(size_t offset, size_t width) const {
    if (offset >= payloadLength_) {
        return {};
    }
    const size_t available = std::min<size_t>(width, payloadLength_ - offset);
    const auto* begin = reinterpret_cast<const char*>(data_ + kHeaderSize + offset);
    const auto* nul = static_cast<const char*>(std::memchr(begin, '\0', available));
    return std::string(begin, nul != nullptr ? static_cast<size_t>(nul - begin) : available);
}

uint32_t MessageView::sequence() const {
    return hasSequence() ? u32(kVoiceFramesSize + 2) : 0;
}

SessionMessage buildEmpty(uint8_t code) {
    return SessionMessage(code, 0);
}

namespace {

SessionMessage buildConnect(uint8_t code, const ConnectFields& f, bool request) {
    using namespace connect_field;
    SessionMessage m(code, kConnectPayloadSize);
    m.putText(kUserName, kUserNameWidth, f.userName);
    m.putU32(kVersion, f.version);
    m.putU16(72, 0);
    m.putText(kIdentity, kIdentityWidth, f.identity);
    m.putText(kConferenceGuid, kConferenceGuidWidth, f.conferenceGuid);
    if (request) {
        m.putU8(kBridgeType, f.bridgeType);
        m.putText(kConfirmUser, kConfirmUserWidth, f.confirmUser);
        m.putText(kConnectionString, kConnectionStringWidth, f.connectionString);
    }
    return m;
}

}  // namespace

SessionMessage buildConnectRequest(const ConnectFields& fields) {
    return buildConnect(MSG_CONNECT_REQUEST, fields, true);
}

SessionMessage buildConnectAccept(const ConnectFields& fields) {
    return buildConnect(MSG_CONNECT_ACCEPT, fields, false);
}

SessionMessage buildProbe(uint32_t tick, uint32_t cookie) {
    SessionMessage m(MSG_R_U_THERE, kProbePayloadSize);
    m.putU32(0, tick);
    m.putU32(4, cookie);
    return m;
}

SessionMessage buildProbeAnswer(const MessageView& probe) {
    SessionMessage m(MSG_I_AM_HERE, kProbePayloadSize);
    m.putU32(0, probe.u32(0));
    m.putU32(4, probe.u32(4));
    return m;
}

SessionMessage buildWhoAreYouReply(std::string_view userName) {
    SessionMessage m(MSG_WHO_RU_REPLY, kWhoAreYouReplySize);
    m.putText(0, kWhoAreYouNameWidth, userName);
    m.putU32(64, kProtocolVersion);
    return m;
}

SessionMessage buildDtmf(uint32_t sequence, std::string_view digits) {
    SessionMessage m(MSG_DTMF, kDtmfPayloadSize);
    m.putU8(0, 1);
    m.putU32(1, sequence);
    m.putText(kDtmfDigitsOffset, kDtmfDigitsWidth, digits);
    return m;
}

SessionMessage buildDtmfAck(const MessageView& dtmf) {
    SessionMessage m(MSG_DTMF_ACK, kDtmfAckSize);
    m.putU8(0, dtmf.u8(0));
    m.putU32(1, dtmf.u32(1));
    return m;
}

SessionMessage buildGatewayLookup() {
    SessionMessage m(MSG_GATEWAY_LOOKUP, kGatewayLookupSize);
    m.putU8(0, 1);
    return m;
}

SessionMessage buildGatewayLookupReply(std::string_view gatewayHost, uint16_t gatewayPort) {
    SessionMessage m(MSG_GATEWAY_LOOKUP_REPLY, kGatewayLookupReplySize);
    m.putText(1, 128, gatewayHost);
    m.putU16(129, gatewayPort);
    return m;
}

ConnectFields readConnectRequest(const MessageView& request) {
    using namespace connect_field;
    ConnectFields f;
    f.userName = request.text(kUserName, kUserNameWidth);
    const uint32_t version = request.u32(kVersion);
    if (version < 5) {
        f.version = 1;
        return f;
    }
    f.version = version;
    f.bridgeType = request.u8(kBridgeType);
    f.identity = request.text(kIdentity, kIdentityWidth);
    f.conferenceGuid = request.text(kConferenceGuid, kConferenceGuidWidth);
    f.confirmUser = request.text(kConfirmUser, kConfirmUserWidth);
    f.connectionString = request.text(kConnectionString, kConnectionStringWidth);
    return f;
}

ConnectFields readConnectAccept(const MessageView& accept, std::string_view dialledName) {
    using namespace connect_field;
    ConnectFields f;
    if (accept.payloadLength() == 0) {
        f.userName = std::string(dialledName);
        f.version = 1;
        return f;
    }
    f.userName = accept.text(kUserName, kUserNameWidth);
    f.version = accept.u32(kVersion);
    f.identity = accept.text(kIdentity, kIdentityWidth);
    f.conferenceGuid = accept.text(kConferenceGuid, kConferenceGuidWidth);
    return f;
}

}  // namespace ostrel::engine
