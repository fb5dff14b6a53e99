// The scripts that report rather than log in: the call report, the problem report and the
// reachability test (which sends UDP datagrams to the caller). Called on the HTTP worker
// threads, several at once; the stores and the rate limiter do their own locking.
#pragma once

#include <string>

#include "service/AccountStore.h"
#include "service/FormFields.h"
#include "service/PresenceStore.h"
#include "service/RateLimiter.h"
#include "service/ReportStore.h"
#include "service/ScriptReply.h"
#include "service/ServiceClock.h"

namespace ostrel::service {

class ReportScripts {
public:
    ReportScripts(AccountStore& accounts, PresenceStore& presence, ReportStore& reports,
                  ServiceClock clock, int probeCount = kProbeCount);

    ScriptReply callReport(const FormFields& form);
    ScriptReply problemReport(const FormFields& form, const std::string& remoteAddress);
    ScriptReply reachabilityTest(const FormFields& form, const std::string& remoteAddress);

    // A refusal in the reachability test's reply format.
    static ScriptReply probeFailure(std::string_view reason);

    // The client shows the problem report's reply from its fourth character on.
    static constexpr std::string_view kProblemThanks =
        "+: Thank you for reporting this problem. It helps us make Talvero better.";

    // Three datagrams, 20 ms apart: the client needs only one of them.
    static constexpr int kProbeCount = 3;
    static constexpr int kProbeGapMs = 20;

private:
    AccountStore& accounts_;
    PresenceStore& presence_;
    ReportStore& reports_;
    ServiceClock clock_;
    int probeCount_;
    // Every test makes us send datagrams to an address the requester names: a few tests per
    // minute and source are plenty for a user, and make us useless as a packet cannon.
    RateLimiter probeLimiter_{5, 60'000};
};

}  // namespace ostrel::service
