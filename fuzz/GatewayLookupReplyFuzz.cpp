// The gateway lookup reply, any bytes: a reply is taken only when it is a whole, well-formed
// lookup answer, and what it gives stays inside what arrived.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/support/FuzzCheck.h"
#include "phone/GatewayLookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto gateway = ostrel::phone::readGatewayLookupReply(data, size);
    if (!gateway) {
        return 0;
    }
    constexpr size_t kHeader = 13, kPayload = 131, kNameField = 128;
    FUZZ_CHECK(size == kHeader + kPayload);
    FUZZ_CHECK(std::memcmp(data, "QVX", 3) == 0 && data[4] == 24);
    FUZZ_CHECK(gateway->port != 0);
    FUZZ_CHECK(!gateway->host.empty() && gateway->host.size() < kNameField);
    FUZZ_CHECK(std::memcmp(gateway->host.data(), data + kHeader + 1, gateway->host.size()) == 0);
    FUZZ_CHECK(data[kHeader + 1 + gateway->host.size()] == 0);
    return 0;
}
