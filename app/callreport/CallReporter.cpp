#include "app/callreport/CallReporter.h"

#include "webservice/HttpRequester.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

namespace ostrel::callreport {

CallReporter::CallReporter(CallReportHost& host, webservice::HttpRequester& requester)
    : host_(host), requester_(requester) {}

uint32_t CallReporter::newCall() {
    uint64_t state = state_.load();
    uint64_t next = 0;
    do {
        next = ((state >> 32) + 1) << 32;
    } while (!state_.compare_exchange_weak(state, next));
    return static_cast<uint32_t>(next >> 32);
}

std::string CallReporter::body(const CallReportList& list, const std::string& user,
                               const std::string& conferenceGuid, bool recorded,
                               uint32_t nowTick) const {
    webservice::CallReportRequest request;
    request.user = user;
    for (const PartyRecord& party : list.parties) {
        request.parties.push_back(
            {party.name, nowTick - party.joinTick, party.delaySum, party.delayCount});
    }
    request.sessionId = sessionId();
    request.recorded = recorded;
    request.conferenceGuid = conferenceGuid;
    return webservice::BuildCallReportRequest(request);
}

CallReporter::Result CallReporter::send(const CallReportList& list, uint32_t nowTick) {
    if (!host_.isLoggedIn() || list.call != currentCall()) {
        return Result::Dropped;
    }
    const std::optional<std::string> conference = host_.activeCallConference();
    if (!conference) {
        return Result::Dropped;
    }
    std::string server;
    std::string target;
    if (!host_.callReportTarget(server, target)) {
        return Result::Dropped;
    }
    const std::string text =
        body(list, host_.userName(), *conference, host_.isRecording(), nowTick);
    std::string reply;
    if (!requester_.Post(server, target, text, reply)) {
        return Result::NoReply;
    }
    // Only the first number of this call counts; a call that ended meanwhile keeps its 0.
    const uint32_t number = webservice::CallReportSessionId(reply, 0);
    if (number != 0) {
        uint64_t unnumbered = uint64_t(list.call) << 32;
        state_.compare_exchange_strong(unnumbered, unnumbered | number);
    }
    return Result::Sent;
}

}  // namespace ostrel::callreport
