#include "app/ui/CallReportParts.h"

#include "app/timer/TimerThread.h"
#include "app/ui/COstrelDlg.h"
#include "platform/Platform.h"

namespace ostrel::app {

namespace {

constexpr uint32_t kReportTimeoutSeconds = 60;

class ReportTask : public CallReportTask {
public:
    ReportTask(callreport::CallReporter& reporter, callreport::CallReportList list)
        : reporter_(reporter), list_(std::move(list)) {}
    void Send() override { reporter_.send(list_, platform::tickCount()); }

private:
    callreport::CallReporter& reporter_;
    callreport::CallReportList list_;
};

}  // namespace

CallReportParts::CallReportParts(COstrelDlg& window, account::AccountSession& session)
    : window_(window),
      session_(session),
      requester_(kReportTimeoutSeconds,
                 webservice::HttpRequesterOptions{[&session] { return session.exiting.load(); }}),
      reporter_(*this, requester_),
      book_(reporter_) {}

// The timer thread that sends with this object's reporter is stopped before it goes.
CallReportParts::~CallReportParts() = default;

void CallReportParts::install(std::function<TimerThread*()> timer,
                              std::function<bool()> recording) {
    timer_ = std::move(timer);
    recording_ = std::move(recording);
    window_.addNotificationListener(
        [this](const engine::Notification& n, bool current) { onNotification(n, current); });
}

void CallReportParts::onNotification(const engine::Notification& n, bool current) {
    using engine::NotificationCode;
    switch (n.code) {
        case NotificationCode::CallActive:
            if (current) {
                book_.callStarted();
            }
            break;
        case NotificationCode::PeerJoined:
            post(book_.partyJoined(std::get<engine::PeerJoinedRecord>(n.parameter),
                                   platform::tickCount()));
            break;
        case NotificationCode::PeerDisconnected:
            if (const auto* event = std::get_if<engine::SessionEvent>(&n.parameter)) {
                if (auto list = book_.partyLeft(event->session)) {
                    post(std::move(*list));
                }
            }
            break;
        case NotificationCode::DelayMeasured:
            if (current) {
                const auto& delay = std::get<engine::DelayRecord>(n.parameter);
                book_.delayMeasured(delay.session, delay.delayMs, platform::tickCount());
            }
            break;
        case NotificationCode::PacketsLost:
            if (current) {
                const auto& lost = std::get<engine::SessionCount>(n.parameter);
                book_.packetsLost(lost.session, lost.count);
            }
            break;
        default:
            break;
    }
}

void CallReportParts::postCurrentReport() {
    post(book_.currentReport());
}

void CallReportParts::post(callreport::CallReportList list) {
    TimerThread* timer = timer_ ? timer_() : nullptr;
    if (timer == nullptr) {
        return;
    }
    recorded_.store(recording_ && recording_());
    timer->PostCallReport(std::make_unique<ReportTask>(reporter_, std::move(list)));
}

bool CallReportParts::isLoggedIn() {
    return session_.LoggedIn();
}

std::string CallReportParts::userName() {
    return session_.LoggedInCredentials().user;
}

std::optional<std::string> CallReportParts::activeCallConference() {
    std::optional<std::string> conference;
    window_.withEngine([&](engine::Engine& engine) {
        if (engine.isCallActive()) {
            conference = engine.conferenceGuid();
        }
    });
    return conference;
}

bool CallReportParts::isRecording() {
    return recorded_.load();
}

bool CallReportParts::callReportTarget(std::string& server, std::string& target) {
    const webservice::ServiceDirectory directory = session_.Directory();
    if (directory.server.empty() || directory.callReportScript.empty()) {
        return false;
    }
    server = directory.server;
    target = directory.Target(directory.callReportScript);
    return true;
}

}  // namespace ostrel::app
