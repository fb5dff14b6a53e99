#include "HostPort.h"

#include <charconv>

namespace ostrel::platform {

std::optional<HostPort> parseHostPort(std::string_view text, uint16_t defaultPort) {
    HostPort out;
    out.port = defaultPort;
    const auto colon = text.rfind(':');
    std::string_view host = text;
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        const std::string_view portText = text.substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (ec != std::errc() || end != portText.data() + portText.size() || value == 0 ||
            value > 65535) {
            return std::nullopt;
        }
        out.port = static_cast<uint16_t>(value);
    }
    if (host.empty()) {
        return std::nullopt;
    }
    out.host = std::string(host);
    return out;
}

}  // namespace ostrel::platform
