// The frame check and the field readers of a received datagram: whatever arrives, a view that
// passes the check never reads outside the bytes that came, and what the readers return is
// what the builders would send again.
#include <cstring>

#include "engine/SessionMessage.h"
#include "fuzz/support/FuzzCheck.h"

using namespace ostrel::engine;

namespace {

uint32_t littleEndianAt(const uint8_t* payload, size_t length, size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t b = offset + i < length ? payload[offset + i] : 0;
        v |= static_cast<uint32_t>(b) << (8 * i);
    }
    return v;
}

void checkText(const MessageView& view, size_t offset, size_t width) {
    const std::string text = view.text(offset, width);
    FUZZ_CHECK(text.size() <= width);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    if (offset >= view.payloadLength()) {
        FUZZ_CHECK(text.empty());
        return;
    }
    FUZZ_CHECK(offset + text.size() <= view.payloadLength());
    FUZZ_CHECK(std::memcmp(text.data(), view.payload().data() + offset, text.size()) == 0);
}

// A text field sent again comes back the same when it fits the field with its NUL.
bool fits(const std::string& text, size_t width) {
    return text.size() < width;
}

void checkConnectRoundTrip(const MessageView& view) {
    using namespace connect_field;
    const ConnectFields f = readConnectRequest(view);
    FUZZ_CHECK(f.userName.size() <= kUserNameWidth);
    FUZZ_CHECK(f.identity.size() <= kIdentityWidth);
    FUZZ_CHECK(f.conferenceGuid.size() <= kConferenceGuidWidth);
    FUZZ_CHECK(f.confirmUser.size() <= kConfirmUserWidth);
    FUZZ_CHECK(f.connectionString.size() <= kConnectionStringWidth);
    FUZZ_CHECK(f.version >= 5 || f.version == 1);
    if (!fits(f.userName, kUserNameWidth) || !fits(f.identity, kIdentityWidth) ||
        !fits(f.conferenceGuid, kConferenceGuidWidth) || !fits(f.confirmUser, kConfirmUserWidth) ||
        !fits(f.connectionString, kConnectionStringWidth)) {
        return;
    }
    const SessionMessage again = buildConnectRequest(f);
    const auto reread = MessageView::read(again.data(), again.size());
    FUZZ_CHECK(reread.has_value());
    const ConnectFields g = readConnectRequest(*reread);
    FUZZ_CHECK(g.userName == f.userName);
    if (f.version >= 5) {
        FUZZ_CHECK(g.version == f.version);
        FUZZ_CHECK(g.bridgeType == f.bridgeType);
        FUZZ_CHECK(g.identity == f.identity);
        FUZZ_CHECK(g.conferenceGuid == f.conferenceGuid);
        FUZZ_CHECK(g.confirmUser == f.confirmUser);
        FUZZ_CHECK(g.connectionString == f.connectionString);
    }

    const ConnectFields a = readConnectAccept(view, "dialled");
    if (view.payloadLength() == 0) {
        FUZZ_CHECK(a.userName == "dialled" && a.version == 1);
    } else {
        FUZZ_CHECK(a.userName.size() <= kUserNameWidth);
        FUZZ_CHECK(a.version == view.u32(kVersion));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MessageView::Error error = MessageView::Error::None;
    const auto view = MessageView::read(data, size, &error);
    if (!view) {
        FUZZ_CHECK(error != MessageView::Error::None);
        return 0;
    }
    FUZZ_CHECK(error == MessageView::Error::None);
    FUZZ_CHECK(size >= kHeaderSize);
    FUZZ_CHECK(hasSignature(data, size));
    FUZZ_CHECK(view->size() == size);
    FUZZ_CHECK(view->payload().size() == view->payloadLength());
    FUZZ_CHECK(view->payload().data() == data + kHeaderSize);

    const uint8_t* payload = data + kHeaderSize;
    const size_t length = view->payloadLength();
    // Offsets the engine uses are small constants; these cover both ends of the payload.
    const size_t last = length > 0 ? length - 1 : 0;
    for (size_t offset : {size_t{0}, size_t{1}, size_t{64}, last, length, length + 3}) {
        FUZZ_CHECK(view->u32(offset) == littleEndianAt(payload, length, offset));
        FUZZ_CHECK(view->u8(offset) == (offset < length ? payload[offset] : 0));
    }
    for (size_t offset :
         {size_t{0}, connect_field::kIdentity, connect_field::kConnectionString, last, length}) {
        checkText(*view, offset, 64);
        checkText(*view, offset, 128);
    }

    if (view->code() == MSG_VOICE) {
        // The frames and the trailer lie inside the payload, and one block at most.
        FUZZ_CHECK(view->frameCount() <= kBlockFrames);
        FUZZ_CHECK(view->frameCount() * kGsmFrameBytes + view->trailerLength() <= length);
        if (view->hasSequence()) {
            FUZZ_CHECK(kVoiceFramesSize + kVoiceTrailerSize <= length);
            FUZZ_CHECK(view->sequence() == littleEndianAt(payload, length, kVoiceFramesSize + 2));
        } else {
            FUZZ_CHECK(view->sequence() == 0);
        }
    } else {
        FUZZ_CHECK(view->frameCount() == 0 && view->trailerLength() == 0);
    }

    checkConnectRoundTrip(*view);

    const SessionMessage answer = buildProbeAnswer(*view);
    FUZZ_CHECK(answer.size() == kHeaderSize + kProbePayloadSize);
    FUZZ_CHECK(littleEndianAt(answer.payload(), 8, 0) == probeTick(*view));
    FUZZ_CHECK(littleEndianAt(answer.payload(), 8, 4) == probeCookie(*view));
    const SessionMessage ack = buildDtmfAck(*view);
    FUZZ_CHECK(ack.size() == kHeaderSize + kDtmfAckSize);
    FUZZ_CHECK(ack.payload()[0] == view->u8(0));
    FUZZ_CHECK(littleEndianAt(ack.payload(), kDtmfAckSize, 1) == dtmfSequence(*view));
    FUZZ_CHECK(dtmfDigits(*view).size() <= kDtmfDigitsWidth);
    return 0;
}
