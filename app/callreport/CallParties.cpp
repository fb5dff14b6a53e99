#include "app/callreport/CallParties.h"

#include <algorithm>

namespace ostrel::callreport {

PartyRecord& CallParties::join(const engine::PeerJoinedRecord& joinReport, uint32_t nowTick) {
    parties_.push_back(PartyRecord::joined(joinReport, nowTick));
    return parties_.back();
}

bool CallParties::leave(engine::SessionId session) {
    const auto found = std::find_if(parties_.begin(), parties_.end(),
                                    [&](const PartyRecord& p) { return p.session == session; });
    if (found == parties_.end()) {
        return false;
    }
    parties_.erase(found);
    return true;
}

PartyRecord* CallParties::find(engine::SessionId session) {
    for (PartyRecord& party : parties_) {
        if (party.session == session) {
            return &party;
        }
    }
    return nullptr;
}

bool CallParties::addDelaySample(engine::SessionId session, uint32_t delayMs, uint32_t nowTick) {
    PartyRecord* party = find(session);
    if (party == nullptr) {
        return false;
    }
    party->addDelaySample(delayMs, nowTick);
    return true;
}

bool CallParties::addLostPackets(engine::SessionId session, uint32_t count) {
    PartyRecord* party = find(session);
    if (party == nullptr) {
        return false;
    }
    party->lostPackets += count;
    return true;
}

std::vector<std::string> CallParties::congestedNames(uint32_t nowTick) const {
    std::vector<std::string> names;
    for (const PartyRecord& party : parties_) {
        if (party.congested(nowTick)) {
            names.push_back(party.name);
        }
    }
    return names;
}

}  // namespace ostrel::callreport
