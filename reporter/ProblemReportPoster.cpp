#include "reporter/ProblemReportPoster.h"

#include <exception>
#include <optional>

#include "platform/Platform.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

namespace ostrel::reporter {

SendOutcome sendProblemReport(webservice::HttpRequester& requester,
                              const ReporterSwitches& switches, const std::string& reportText) {
    SendOutcome outcome{false, kUnableToContactServer};
    if (switches.server.empty()) {
        return outcome;  // nowhere to send it: the same answer as a host that is down
    }
    webservice::ProblemReportRequest request;
    request.instanceGuid = switches.instanceGuid;
    request.version = switches.version;
    request.build = switches.build;
    request.logText = reportText;
    const std::string body = webservice::BuildProblemReportRequest(request);

    std::string reply;
    if (!requester.Post(switches.server, switches.serverPath, body, reply)) {
        platform::trace("Problem report: no reply from " + switches.server);
        return outcome;
    }
    const std::optional<std::string> message = webservice::ProblemReportMessage(reply);
    if (!message) {
        platform::trace("Problem report refused: " + reply.substr(0, 80));
        return outcome;
    }
    return {true, *message};
}

ProblemReportPoster::ProblemReportPoster(ReporterSwitches switches, std::string reportText,
                                         uint32_t timeoutSeconds,
                                         webservice::HttpRequesterOptions options)
    : switches_(std::move(switches)),
      reportText_(std::move(reportText)),
      requester_(timeoutSeconds, std::move(options)),
      outcome_{false, kUnableToContactServer} {}

ProblemReportPoster::~ProblemReportPoster() {
    if (thread_) {
        thread_->Wait(sync::kInfinite);
    }
}

bool ProblemReportPoster::Start() {
    if (thread_) {
        return false;
    }
    thread_ = std::make_unique<sync::CWorkerThread>([this](void*) { return post(); }, this,
                                                    "Post Crash Information");
    return thread_->Start(false);
}

bool ProblemReportPoster::IsRunning() const {
    // Started but not yet begun counts as running, so a caller polling right after Start
    // never reads the outcome before the thread has written it.
    return thread_ && thread_->Wait(0) == sync::WaitResult::TimedOut;
}

sync::WaitResult ProblemReportPoster::Wait(unsigned long timeoutMs) {
    return thread_ ? thread_->Wait(timeoutMs) : sync::WaitResult::Failed;
}

uint32_t ProblemReportPoster::post() {
    try {
        outcome_ = sendProblemReport(requester_, switches_, reportText_);
    } catch (const std::exception& e) {
        // Out of memory building the body: the report did not go out.
        platform::trace(std::string("Problem report: ") + e.what());
        outcome_ = {false, kUnableToContactServer};
    }
    return 0;
}

}  // namespace ostrel::reporter
