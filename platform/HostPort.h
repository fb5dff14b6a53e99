// Host texts of the form "name" or "name:port", as used for the service web host, the
// directory's server address and the own-address detection target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::platform {

struct HostPort {
    std::string host;
    uint16_t port = 80;
};

// Splits "host[:port]". A missing port gives `defaultPort`; an empty host, a port that is not
// a number in 1..65535, or trailing junk after the port gives nothing.
std::optional<HostPort> parseHostPort(std::string_view text, uint16_t defaultPort = 80);

}  // namespace ostrel::platform
