// The talvero-gateway command line: ports of the lookup host and the bridge, the address the
// lookup replies name, how calls are answered and what voice goes back, and the run time.
// Parsed once on the main thread before anything starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gateway/BridgeSettings.h"

namespace ostrel::gateway {

struct GatewayOptions {
    uint16_t lookupPort = 1730;
    uint16_t bridgePort = 1731;
    std::string advertiseHost = "127.0.0.1";
    uint16_t advertisePort = 0;  // 0: the bridge's bound port
    bool silent = false;
    uint32_t seconds = 0;  // 0: until SIGINT or SIGTERM
    bool help = false;
    BridgeSettings bridge;

    // The options of `args` (without the program name) over the defaults; nothing, with
    // `error` saying why, for an unknown option, a missing value or a value out of range.
    static std::optional<GatewayOptions> parse(const std::vector<std::string>& args,
                                               std::string& error);
    static const char* usage();

    // "tone:440" or "echo", as the voice option spells it.
    std::string voiceText() const;
};

}  // namespace ostrel::gateway
