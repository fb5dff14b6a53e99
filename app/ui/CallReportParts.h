// The main window's call reports: the book of the current call's parties, fed by the engine
// notifications the window handles, and the reports handed to the timer thread on every join,
// departure and five minutes of a call. GUI thread, except the CallReportHost questions, which
// the timer thread asks while it sends.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "account/AccountSession.h"
#include "app/callreport/CallBook.h"
#include "app/callreport/CallReporter.h"
#include "engine/Notification.h"
#include "webservice/HttpRequester.h"

namespace ostrel::app {

class COstrelDlg;
class TimerThread;

class CallReportParts : private callreport::CallReportHost {
public:
    CallReportParts(COstrelDlg& window, account::AccountSession& session);
    ~CallReportParts() override;

    // Follows the window's notifications; `timer` takes the reports (none while it is null),
    // `recording` says whether the conversation is being recorded.
    void install(std::function<TimerThread*()> timer, std::function<bool()> recording);

    // Five minutes of the call have passed: the current parties' report.
    void postCurrentReport();

    const callreport::CallBook& book() const { return book_; }
    callreport::CallReporter& reporter() { return reporter_; }

private:
    void onNotification(const engine::Notification& notification, bool current);
    void post(callreport::CallReportList list);

    // CallReportHost (timer thread).
    bool isLoggedIn() override;
    std::string userName() override;
    std::optional<std::string> activeCallConference() override;
    bool isRecording() override;
    bool callReportTarget(std::string& server, std::string& target) override;

    COstrelDlg& window_;
    account::AccountSession& session_;
    webservice::HttpRequester requester_;
    callreport::CallReporter reporter_;
    callreport::CallBook book_;
    std::function<TimerThread*()> timer_;
    std::function<bool()> recording_;
    // Taken on the GUI thread whenever a report is handed over, read by the timer thread.
    std::atomic<bool> recorded_{false};
};

}  // namespace ostrel::app
