#include "app/callreport/CallStatistics.h"

namespace ostrel::callreport {

bool CallStatistics::count(const engine::Notification& notification) {
    const auto* counted = std::get_if<engine::SessionCount>(&notification.parameter);
    if (counted == nullptr) {
        return false;
    }
    // Counters wrap like the unsigned counters they stand for.
    switch (notification.code) {
        case engine::NotificationCode::BytesReceived:
            bytesReceived += counted->count;
            return true;
        case engine::NotificationCode::BytesSent:
            bytesSent += counted->count;
            return true;
        case engine::NotificationCode::PacketsLost:
            lostPackets += counted->count;
            return true;
        default:
            return false;
    }
}

}  // namespace ostrel::callreport
