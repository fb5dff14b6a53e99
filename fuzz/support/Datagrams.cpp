#include "fuzz/support/Datagrams.h"

#include <array>

#include "engine/SessionMessage.h"
#include "fuzz/support/FuzzCheck.h"

namespace ostrel::fuzz {

namespace {

using namespace ostrel::engine;

// Codes the engine reacts to, so a frame mostly carries one of them.
constexpr std::array<uint8_t, 17> kKnownCodes = {
    MSG_CONNECT_REQUEST,
    MSG_CONNECT_ACCEPT,
    MSG_VOICE,
    MSG_HANGUP,
    MSG_RING_STOPPED,
    MSG_RINGING,
    MSG_R_U_THERE,
    MSG_I_AM_HERE,
    MSG_WHO_RU,
    MSG_WHO_RU_REPLY,
    MSG_BUSY,
    MSG_NOT_LOGGED_IN_HERE,
    MSG_OTHER_CONFERENCE,
    MSG_GATEWAY_LOOKUP,
    MSG_GATEWAY_LOOKUP_REPLY,
    MSG_DTMF,
    MSG_DTMF_ACK,
};

// Payload sizes the layouts use, so the fuzzer need not find them byte by byte.
constexpr std::array<size_t, 10> kKnownSizes = {
    0,
    kConnectPayloadSize,
    kVoiceFramesSize,
    kVoicePayloadSize,
    kProbePayloadSize,
    kWhoAreYouReplySize,
    kDtmfPayloadSize,
    kDtmfAckSize,
    kGatewayLookupSize,
    kGatewayLookupReplySize,
};

void putU32(Datagram& d, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        d[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

Datagram nextDatagram(FuzzedDataProvider& input) {
    const uint8_t kind = input.ConsumeIntegralInRange<uint8_t>(0, 7);
    if (kind == 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 700);
        return input.ConsumeBytes<uint8_t>(length);
    }
    if (kind == 7 && input.ConsumeBool()) {
        // Longer than any receive buffer the engine reads into: zeros after what the input has.
        Datagram d = input.ConsumeBytes<uint8_t>(64);
        d.resize(input.ConsumeIntegralInRange<size_t>(4000, 33000), 0);
        return d;
    }
    const uint8_t code =
        kind == 1 ? input.ConsumeIntegral<uint8_t>() : input.PickValueInArray(kKnownCodes);
    const size_t wanted = input.ConsumeBool() ? input.PickValueInArray(kKnownSizes)
                                              : input.ConsumeIntegralInRange<size_t>(0, 700);
    Datagram d(kHeaderSize + wanted, 0);
    d[0] = 'Q';
    d[1] = 'V';
    d[2] = 'X';
    d[4] = code;
    putU32(d, 5, input.ConsumeBool() ? input.ConsumeIntegral<uint32_t>() : 0);
    const std::vector<uint8_t> payload = input.ConsumeBytes<uint8_t>(wanted);
    std::copy(payload.begin(), payload.end(), d.begin() + kHeaderSize);
    // Mostly the length that arrives; now and then one that lies about it.
    const uint32_t length =
        kind == 2 ? input.ConsumeIntegral<uint32_t>() : static_cast<uint32_t>(wanted);
    putU32(d, 9, length);
    return d;
}

std::vector<Datagram> datagramsFrom(FuzzedDataProvider& input, size_t maxCount) {
    std::vector<Datagram> all;
    while (all.size() < maxCount && input.remaining_bytes() > 0) {
        all.push_back(nextDatagram(input));
    }
    return all;
}

}  // namespace ostrel::fuzz
