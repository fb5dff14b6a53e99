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

CallBook::TickWork CallBook::tick(uint32_t tickCounter, uint32_t nowTick) const {
    TickWork work;
    if (tickCounter % kCongestionEveryTicks == 0) {
        work.congested = parties_.congestedNames(nowTick);
    }
    if (tickCounter % kReportEveryTicks == 0) {
        work.report = parties_.reportList(call_);
    }
    return work;
}

std::string congestionText(const std::vector<std::string>& names) {
    std::string text = "Network congestion with\n------";
    for (const std::string& name : names) {
        text += "\n" + name;
    }
    return text;
}

}  // namespace ostrel::callreport
