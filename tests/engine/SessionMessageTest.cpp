#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/SessionMessage.h"

using namespace ostrel::engine;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const SessionMessage& m) {
    return Bytes(m.data(), m.data() + m.size());
}

// The header as the layout table gives it, written out by hand.
Bytes header(uint8_t code, uint32_t sampleCount, uint32_t payloadLength) {
    return {'Q',
            'V',
            'X',
            0,
            code,
            static_cast<uint8_t>(sampleCount),
            static_cast<uint8_t>(sampleCount >> 8),
            static_cast<uint8_t>(sampleCount >> 16),
            static_cast<uint8_t>(sampleCount >> 24),
            static_cast<uint8_t>(payloadLength),
            static_cast<uint8_t>(payloadLength >> 8),
            static_cast<uint8_t>(payloadLength >> 16),
            static_cast<uint8_t>(payloadLength >> 24)};
}

void put(Bytes& b, size_t payloadOffset, std::string_view text) {
    std::memcpy(b.data() + kHeaderSize + payloadOffset, text.data(), text.size());
}

void putLe32(Bytes& b, size_t payloadOffset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[kHeaderSize + payloadOffset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

Bytes expected(uint8_t code, uint32_t payloadLength, uint32_t sampleCount = 0) {
    Bytes b = header(code, sampleCount, payloadLength);
    b.resize(kHeaderSize + payloadLength, 0);
    return b;
}

}  // namespace

TEST(FrameLayout, EmptyMessagesAreBareHeaders) {
    for (uint8_t code : {MSG_HANGUP, MSG_RING_STOPPED, MSG_RINGING, MSG_WHO_RU, MSG_BUSY,
                         MSG_NOT_LOGGED_IN_HERE, MSG_OTHER_CONFERENCE}) {
        EXPECT_EQ(bytesOf(buildEmpty(code)), header(code, 0, 0)) << int(code);
    }
}

TEST(FrameLayout, ConnectRequestFieldsAtTheirOffsets) {
    ConnectFields f;
    f.userName = "alice";
    f.bridgeType = 1;
    f.identity = "0f8e2d5c-1111-2222-3333-444455556666";
    f.conferenceGuid = "9a9a9a9a-bbbb-cccc-dddd-eeeeeeeeeeee";
    f.confirmUser = "bob";
    f.connectionString = "5551234";
    Bytes want = expected(1, 400);
    put(want, 0, "alice");
    putLe32(want, 64, 6);
    want[kHeaderSize + 74] = 1;
    put(want, 80, f.identity);
    put(want, 144, f.conferenceGuid);
    put(want, 208, "bob");
    put(want, 272, "5551234");
    EXPECT_EQ(bytesOf(buildConnectRequest(f)), want);
}

TEST(FrameLayout, ConnectAcceptCarriesOnlyTheSharedFields) {
    ConnectFields f;
    f.userName = "bob";
    f.identity = "id-text";
    f.conferenceGuid = "guid-text";
    f.bridgeType = 2;          // request only
    f.confirmUser = "x";       // request only
    f.connectionString = "y";  // request only
    Bytes want = expected(2, 400);
    put(want, 0, "bob");
    putLe32(want, 64, 6);
    put(want, 80, "id-text");
    put(want, 144, "guid-text");
    EXPECT_EQ(bytesOf(buildConnectAccept(f)), want);
}

TEST(FrameLayout, TextFieldsKeepTheirNul) {
    ConnectFields f;
    f.userName = std::string(100, 'n');
    const Bytes b = bytesOf(buildConnectRequest(f));
    EXPECT_EQ(b[kHeaderSize + 62], 'n');
    EXPECT_EQ(b[kHeaderSize + 63], 0);  // at most 63 characters in a 64-byte field
    EXPECT_EQ(b[kHeaderSize + 64], 6);
}

TEST(FrameLayout, ProbeAndAnswer) {
    Bytes want = expected(9, 12);
    putLe32(want, 0, 0xA1B2C3D4);
    putLe32(want, 4, 12345);
    const SessionMessage probe = buildProbe(0xA1B2C3D4, 12345);
    EXPECT_EQ(bytesOf(probe), want);

    // A peer's probe may carry anything in bytes 8..11; the answer leaves them zero.
    Bytes incoming = want;
    putLe32(incoming, 8, 0xFFFFFFFF);
    auto view = MessageView::read(incoming.data(), incoming.size());
    ASSERT_TRUE(view);
    EXPECT_EQ(probeCookie(*view), 12345u);
    Bytes answer = expected(16, 12);
    putLe32(answer, 0, 0xA1B2C3D4);
    putLe32(answer, 4, 12345);
    EXPECT_EQ(bytesOf(buildProbeAnswer(*view)), answer);
}

TEST(FrameLayout, WhoAreYouReply) {
    Bytes want = expected(18, 136);
    put(want, 0, "carol");
    putLe32(want, 64, 6);
    EXPECT_EQ(bytesOf(buildWhoAreYouReply("carol")), want);
}

TEST(FrameLayout, DigitsAndAcknowledgement) {
    Bytes want = expected(25, 69);
    want[kHeaderSize + 0] = 1;
    putLe32(want, 1, 7);
    put(want, 5, "12#*");
    const SessionMessage dtmf = buildDtmf(7, "12#*");
    EXPECT_EQ(bytesOf(dtmf), want);

    auto view = MessageView::read(dtmf.data(), dtmf.size());
    ASSERT_TRUE(view);
    EXPECT_EQ(dtmfSequence(*view), 7u);
    EXPECT_EQ(dtmfDigits(*view), "12#*");
    Bytes ack = expected(26, 5);
    ack[kHeaderSize] = 1;
    putLe32(ack, 1, 7);
    EXPECT_EQ(bytesOf(buildDtmfAck(*view)), ack);
}

TEST(FrameLayout, GatewayLookupMessages) {
    Bytes request = expected(23, 2);
    request[kHeaderSize] = 1;
    EXPECT_EQ(bytesOf(buildGatewayLookup()), request);

    Bytes reply = expected(24, 131);
    put(reply, 1, "gw.example");
    reply[kHeaderSize + 129] = 0xA2;  // 1698 little-endian
    reply[kHeaderSize + 130] = 0x06;
    EXPECT_EQ(bytesOf(buildGatewayLookupReply("gw.example", 1698)), reply);
}

TEST(FrameLayout, VoiceTrailer) {
    SessionMessage voice(MSG_VOICE, 330);
    voice.setSampleCount(1600);
    std::memset(voice.payload(), 0x5A, 330);
    uint32_t counter = 1;
    ASSERT_TRUE(voice.appendVoiceTrailer(counter));
    EXPECT_EQ(counter, 2u);
    Bytes want = expected(3, 336, 1600);
    std::memset(want.data() + kHeaderSize, 0x5A, 330);
    want[kHeaderSize + 330] = 6;
    putLe32(want, 332, 1);
    EXPECT_EQ(bytesOf(voice), want);
    EXPECT_EQ(voice.size(), 349u);
    // Only a 330-byte frame payload takes a trailer.
    EXPECT_FALSE(voice.appendVoiceTrailer(counter));
    EXPECT_EQ(counter, 2u);
}

TEST(FrameReader, ReadsVoiceTrailerAndFrameCount) {
    SessionMessage voice(MSG_VOICE, 330);
    uint32_t counter = 41;
    voice.appendVoiceTrailer(counter);
    auto view = MessageView::read(voice.data(), voice.size());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->hasSequence());
    EXPECT_EQ(view->sequence(), 41u);
    EXPECT_EQ(view->frameCount(), 10u);

    SessionMessage bare(MSG_VOICE, 330);
    auto noTrailer = MessageView::read(bare.data(), bare.size());
    ASSERT_TRUE(noTrailer);
    EXPECT_FALSE(noTrailer->hasSequence());
    EXPECT_EQ(noTrailer->trailerLength(), 0u);
    EXPECT_EQ(noTrailer->frameCount(), 10u);
}

TEST(FrameReader, TrailerOfOtherLengthCarriesNoSequence) {
    Bytes b = expected(3, 336, 1600);
    b[kHeaderSize + 330] = 4;  // trailer length field says 4
    putLe32(b, 332, 9);
    auto view = MessageView::read(b.data(), b.size());
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->hasSequence());
    EXPECT_EQ(view->frameCount(), 10u);  // (336 - 4) / 33
}

struct Malformed {
    const char* name;
    Bytes datagram;
    MessageView::Error error;
};

class FrameReaderRejects : public ::testing::TestWithParam<Malformed> {};

TEST_P(FrameReaderRejects, BeforeAnyFieldIsUsed) {
    const Malformed& m = GetParam();
    MessageView::Error error = MessageView::Error::None;
    EXPECT_FALSE(MessageView::read(m.datagram.data(), m.datagram.size(), &error));
    EXPECT_EQ(error, m.error);
}

namespace {

Bytes withPayloadLength(Bytes b, uint32_t claimed) {
    for (int i = 0; i < 4; ++i) {
        b[9 + i] = static_cast<uint8_t>(claimed >> (8 * i));
    }
    return b;
}

Bytes voiceWithTrailerLength(uint32_t payloadLength, uint16_t trailerLength) {
    Bytes b = expected(3, payloadLength, 1600);
    b[kHeaderSize + 330] = static_cast<uint8_t>(trailerLength);
    b[kHeaderSize + 331] = static_cast<uint8_t>(trailerLength >> 8);
    return b;
}

std::vector<Malformed> malformedDatagrams() {
    Bytes shortHeader = header(4, 0, 0);
    shortHeader.pop_back();
    Bytes badSignature = header(17, 0, 0);
    badSignature[2] = 'Y';
    Bytes noNul = header(17, 0, 0);
    noNul[3] = 'Z';
    return {
        {"Empty", {}, MessageView::Error::TooShort},
        {"TwelveBytes", shortHeader, MessageView::Error::TooShort},
        {"BadSignature", badSignature, MessageView::Error::BadSignature},
        {"SignatureWithoutNul", noNul, MessageView::Error::BadSignature},
        {"ClaimsMoreThanArrived", withPayloadLength(expected(9, 12), 13),
         MessageView::Error::LengthMismatch},
        {"ClaimsLessThanArrived", withPayloadLength(expected(9, 12), 11),
         MessageView::Error::LengthMismatch},
        {"ClaimsHugeLength", withPayloadLength(expected(1, 400), 0xFFFFFFF0u),
         MessageView::Error::LengthMismatch},
        {"TrailerFieldCutOff", expected(3, 331, 1600), MessageView::Error::BadTrailer},
        {"TrailerLongerThanPayload", voiceWithTrailerLength(336, 400),
         MessageView::Error::BadTrailer},
        {"SequenceCutOff", voiceWithTrailerLength(334, 6), MessageView::Error::BadTrailer},
        {"ElevenFrames", expected(3, 363, 1760), MessageView::Error::TooManyFrames},
        {"ManyFramesTinyTrailer", voiceWithTrailerLength(2000, 2),
         MessageView::Error::TooManyFrames},
    };
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Datagrams, FrameReaderRejects, ::testing::ValuesIn(malformedDatagrams()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameReader, FieldReadsStayInsideThePayload) {
    // A version-4 peer sends a short request; fields past its end read as empty or zero.
    Bytes b = expected(1, 70);
    put(b, 0, "oldpeer");
    putLe32(b, 64, 4);
    auto view = MessageView::read(b.data(), b.size());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->u32(68), 0u);
    EXPECT_EQ(view->u32(66), 0u);  // straddles the end: the missing bytes are zero
    EXPECT_EQ(view->text(300, 64), "");
    const ConnectFields f = readConnectRequest(*view);
    EXPECT_EQ(f.userName, "oldpeer");
    EXPECT_EQ(f.version, 1u);
    EXPECT_TRUE(f.identity.empty());
    EXPECT_TRUE(f.confirmUser.empty());

    // A name that fills its whole field without a NUL is cut at the field width.
    Bytes full = expected(1, 400);
    std::memset(full.data() + kHeaderSize, 'q', 64);
    putLe32(full, 64, 6);
    auto fullView = MessageView::read(full.data(), full.size());
    ASSERT_TRUE(fullView);
    EXPECT_EQ(readConnectRequest(*fullView).userName, std::string(64, 'q'));
}

TEST(FrameReader, VersionFiveAndLaterRequestsAreReadWhole) {
    ConnectFields f;
    f.userName = "dave";
    f.version = 5;
    f.identity = "ident";
    f.conferenceGuid = "conf";
    f.confirmUser = "erin";
    f.connectionString = "h323:x";
    f.bridgeType = 2;
    const SessionMessage m = buildConnectRequest(f);
    auto view = MessageView::read(m.data(), m.size());
    ASSERT_TRUE(view);
    const ConnectFields got = readConnectRequest(*view);
    EXPECT_EQ(got.userName, "dave");
    EXPECT_EQ(got.version, 5u);
    EXPECT_EQ(got.bridgeType, 2);
    EXPECT_EQ(got.identity, "ident");
    EXPECT_EQ(got.conferenceGuid, "conf");
    EXPECT_EQ(got.confirmUser, "erin");
    EXPECT_EQ(got.connectionString, "h323:x");
}

TEST(FrameReader, EmptyAcceptKeepsTheDialledName) {
    const SessionMessage empty = buildEmpty(MSG_CONNECT_ACCEPT);
    auto view = MessageView::read(empty.data(), empty.size());
    ASSERT_TRUE(view);
    const ConnectFields f = readConnectAccept(*view, "frank");
    EXPECT_EQ(f.userName, "frank");
    EXPECT_EQ(f.version, 1u);
}
