// Problem reporter: posts the report to the report page on the thread "Post Crash Information"
// while the GUI thread keeps its windows alive. Start, IsRunning, Wait and Outcome are called
// on the GUI thread; the thread writes the outcome, read only after it has ended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "reporter/ReporterSwitches.h"
#include "sync/CWorkerThread.h"
#include "sync/WaitResult.h"
#include "webservice/HttpRequester.h"

namespace ostrel::reporter {

inline constexpr const char* kUnableToContactServer =
    "Unable to contact the server. Please try again later.";

// The reporter waits at most this long for the report page (plus the request layer's last
// second): long enough for a slow page, short enough for a user watching "Please wait".
inline constexpr uint32_t kReportTimeoutSeconds = 20;

struct SendOutcome {
    bool delivered = false;
    std::string message;  // the page's message when delivered, else kUnableToContactServer
};

// The send step: builds the problem-report body from the switches and the report text, posts
// it to the -s host and -p path, and judges the reply. Blocks for the whole exchange.
SendOutcome sendProblemReport(webservice::HttpRequester& requester,
                              const ReporterSwitches& switches, const std::string& reportText);

class ProblemReportPoster {
public:
    // `timeoutSeconds` and `options` are the request layer's; tests pass shorter ones.
    ProblemReportPoster(ReporterSwitches switches, std::string reportText,
                        uint32_t timeoutSeconds = kReportTimeoutSeconds,
                        webservice::HttpRequesterOptions options = {});
    // Waits for a thread still posting: the thread uses this object's fields.
    ~ProblemReportPoster();

    ProblemReportPoster(const ProblemReportPoster&) = delete;
    ProblemReportPoster& operator=(const ProblemReportPoster&) = delete;

    // Starts the thread once; false when it cannot be started (then Outcome says undelivered).
    bool Start();
    bool IsRunning() const;
    sync::WaitResult Wait(unsigned long timeoutMs);

    // Valid once the thread has ended (IsRunning false after Start, or Wait signalled).
    const SendOutcome& Outcome() const { return outcome_; }

private:
    uint32_t post();

    ReporterSwitches switches_;
    std::string reportText_;
    webservice::HttpRequester requester_;
    // Written by the posting thread before it ends; the GUI thread reads it afterwards.
    SendOutcome outcome_;
    std::unique_ptr<sync::CWorkerThread> thread_;
};

}  // namespace ostrel::reporter
