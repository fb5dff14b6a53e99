#include "app/callreport/CallBook.h"

namespace ostrel::callreport {

void CallBook::callStarted() {
    parties_.clear();
    call_ = reporter_.newCall();
}

CallReportList CallBook::partyJoined(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick) {
    parties_.join(joinReport, nowTick);
    return parties_.reportList(call_);
}

std::optional<CallReportList> CallBook::partyLeft(engine::SessionId session) {
    if (!parties_.leave(session)) {
        return std::nullopt;
    }
    return parties_.reportList(call_);
}

bool CallBook::delayMeasured(engine::SessionId session, uint32_t twoWayMs, uint32_t nowTick) {
    return parties_.addDelaySample(session, twoWayMs, nowTick);
}

bool CallBook::packetsLost(engine::SessionId session, uint32_t count) {
    return parties_.addLostPackets(session, count);
}

}  // namespace ostrel::callreport
