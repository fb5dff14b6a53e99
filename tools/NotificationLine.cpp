#include "tools/NotificationLine.h"

#include <cstdlib>
#include <type_traits>

namespace ostrel::tools {

using namespace engine;

namespace {

std::string field(const char* key, const std::string& value) {
    return std::string(" ") + key + "=" + value;
}

std::string field(const char* key, uint64_t value) {
    return field(key, std::to_string(value));
}

// Peak magnitude of a block, so a line shows whether there was sound in it.
uint32_t peak(const PcmBlock& block) {
    int peak = 0;
    for (int16_t s : block.samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return static_cast<uint32_t>(peak);
}

std::string fields(NotificationCode code, const NotificationParameter& parameter) {
    return std::visit(
        [code](const auto& p) -> std::string {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, SessionCount>) {
                return field("session", p.session.value) +
                       field(code == NotificationCode::PacketsLost ? "count" : "bytes", p.count);
            } else if constexpr (std::is_same_v<T, PcmBlock>) {
                return field("peak", peak(p));
            } else if constexpr (std::is_same_v<T, IncomingCallRequest*>) {
                return p != nullptr ? field("name", p->peerUserName) : std::string();
            } else if constexpr (std::is_same_v<T, PeerJoinedRecord>) {
                return field("name", p.description) + field("version", p.peerVersion);
            } else if constexpr (std::is_same_v<T, ConnectionRequest>) {
                return field("address", p.address) + field("port", p.port);
            } else if constexpr (std::is_same_v<T, SessionEvent>) {
                return field("name", p.description);
            } else if constexpr (std::is_same_v<T, DelayRecord>) {
                return field("ms", p.delayMs);
            } else if constexpr (std::is_same_v<T, DigitsSentRecord>) {
                return field("digits", p.digits);
            } else {
                return std::string();
            }
        },
        parameter);
}

}  // namespace

std::string notificationLine(const Notification& n) {
    return std::to_string(static_cast<uint32_t>(n.code)) + " " +
           std::string(notificationName(n.code)) + fields(n.code, n.parameter);
}

}  // namespace ostrel::tools
