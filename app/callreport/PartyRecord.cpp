#include "app/callreport/PartyRecord.h"

#include <algorithm>

namespace ostrel::callreport {

PartyRecord PartyRecord::joined(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick) {
    PartyRecord record;
    record.name = joinReport.description;
    record.session = joinReport.session;
    record.peerVersion = joinReport.peerVersion;
    record.joinTick = nowTick;
    record.lastDelayReportTick = nowTick;
    return record;
}

void PartyRecord::addDelaySample(uint32_t delayMs, uint32_t nowTick) {
    lastDelayReportTick = nowTick;
    if (delayMs < lowerLimit || delayMs >= upperLimit) {
        return;
    }
    lastDelay = delayMs;
    delaySum += delayMs;
    delayCount += 1;
    largestDelay = std::max(largestDelay, delayMs);
    smallestDelay = std::min(smallestDelay, delayMs);
}

bool PartyRecord::congested(uint32_t nowTick) const {
    return nowTick - lastDelayReportTick > kCongestionMs;
}

}  // namespace ostrel::callreport
