#include "app/timer/TimerThread.h"

#include <chrono>
#include <thread>

#include "app/settings/Settings.h"
#include "netconfig/OwnAddress.h"
#include "webservice/HttpRequester.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

namespace ostrel::app {

namespace {

// Own-address detection limit per attempt in the status check.
constexpr unsigned kDetectionSeconds = 15;
// Non-XML presence replies in a row after which the server counts as busy.
constexpr uint32_t kBusyLimit = 3;

}  // namespace

std::string BusyServerText() {
    return std::string(
               "Server is too busy now.\r\nYou will be logged off. Please login after "
               "sometime. If the problem persists, please send an email to ") +
           kSupportAddress;
}

TimerThread::TimerThread(TimerHost& host, account::AccountSession& session,
                         account::OnlineList& online, webservice::HttpRequester& requester,
                         TimerThreadOptions options)
    : host_(host),
      session_(session),
      online_(online),
      requester_(requester),
      options_(std::move(options)) {}

TimerThread::~TimerThread() {
    Quit();
}

bool TimerThread::Start() {
    if (worker_) {
        return false;
    }
    worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return run(); }, nullptr,
                                                    "The infamous Timer Thread!");
    // Waits until the thread has its queue, so that the first post cannot be lost.
    return worker_->Start(true);
}

void TimerThread::Quit() {
    if (!worker_) {
        return;
    }
    if (worker_->IsRunning()) {
        sync::postThreadMessage(worker_->GetThreadId(), kTimerQuit);
    }
    worker_->Wait(sync::kInfinite);
    worker_.reset();
}

bool TimerThread::PostStatusCheck() {
    return worker_ && sync::postThreadMessage(worker_->GetThreadId(), kTimerStatusCheck);
}

bool TimerThread::PostCallReport(std::unique_ptr<CallReportTask> report) {
    if (!worker_ || !sync::postThreadMessage(worker_->GetThreadId(), kTimerCallReport, 0,
                                             reinterpret_cast<intptr_t>(report.get()))) {
        return false;
    }
    report.release();  // the thread owns it now
    return true;
}

std::string TimerThread::NetworkStatusText() const {
    std::lock_guard lock(mutex_);
    return networkStatus_;
}

std::string TimerThread::DetectedAddress() const {
    std::lock_guard lock(mutex_);
    return detected_;
}

void TimerThread::setNetworkStatus(const std::string& text) {
    std::lock_guard lock(mutex_);
    networkStatus_ = text;
}

void TimerThread::pause() const {
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.postPauseMs));
}

uint32_t TimerThread::run() {
    sync::ensureMessageQueue();
    worker_->SignalStarted();
    sync::ThreadMessage message;
    for (;;) {
        if (!sync::waitMessage(message, sync::kInfinite)) {
            continue;
        }
        // Requests that piled up while we were busy collapse into the last one.
        sync::ThreadMessage next;
        while (sync::peekMessage(next, false) && next.message == message.message) {
            if (message.message == kTimerCallReport) {
                break;  // every report owns its list; none may be dropped
            }
            sync::peekMessage(message, true);
        }
        if (message.message == kTimerQuit || message.message == sync::WM_QUIT) {
            break;
        }
        if (message.message == kTimerCallReport) {
            std::unique_ptr<CallReportTask> report(
                reinterpret_cast<CallReportTask*>(message.lParam));
            if (report && session_.LoggedIn()) {
                report->Send();
            }
        } else if (message.message == kTimerStatusCheck && !session_.exiting.load()) {
            statusCheck();
        }
    }
    // Reports still queued own their lists.
    while (sync::peekMessage(message, true)) {
        if (message.message == kTimerCallReport) {
            delete reinterpret_cast<CallReportTask*>(message.lParam);
        }
    }
    return 0;
}

void TimerThread::statusCheck() {
    checksRun_.fetch_add(1);
    if (firstCheck_) {
        firstCheck_ = false;
        setNetworkStatus("Checking server");
    }
    previous_ = current_;
    current_ = netconfig::LoadNetworkSettings();

    const std::string detected = options_.detectOwnAddress
                                     ? options_.detectOwnAddress(kDetectionSeconds)
                                     : netconfig::DetectOwnAddress(kDetectionSeconds);
    {
        std::lock_guard lock(mutex_);
        detected_ = detected;
    }
    if (detected.empty()) {
        setNetworkStatus(current_.useProxy == 1 ? "HTTP proxy not reachable"
                                                : "The server cannot be reached");
        firstSuccess_ = false;
        if (session_.LoggedIn()) {
            host_.PostCommand(kCommandLocalLogoff);
            pause();
        }
        return;
    }

    switch (current_.ipType) {
        case netconfig::kModeFirewallAuto:
            setNetworkStatus("Firewall IP: Auto");
            behindFirewall_.store(false);
            break;
        case netconfig::kModeFirewallFixed:
            setNetworkStatus("Configured IP:" + current_.configuredIp);
            behindFirewall_.store(false);
            break;
        case netconfig::kModeLanOnly:
            setNetworkStatus("Internal IP:" + current_.configuredIp);
            behindFirewall_.store(false);
            break;
        default:
            if (detected == netconfig::kLanAddress) {
                setNetworkStatus("Behind firewall");
                behindFirewall_.store(true);
            } else {
                setNetworkStatus("Your IP:" + detected);
                behindFirewall_.store(false);
            }
            break;
    }
    if (!(current_ == previous_)) {
        host_.PostSettingsChanged();
    }
    if (!firstSuccess_ && session_.autoLoginAllowed.load()) {
        if (settings::read(settings::value::AutoLogin) == 1) {
            host_.PostCommand(kCommandLogin);
        }
    }
    firstSuccess_ = true;

    if (!session_.LoggedIn()) {
        return;
    }
    keepAlive(session_.LoggedInCredentials(), session_.Directory(), detected);
}

void TimerThread::keepAlive(const account::Credentials& who,
                            const webservice::ServiceDirectory& directory,
                            const std::string& ownAddress) {
    webservice::AccountRequest request;
    request.user = who.user;
    request.password = who.password;
    request.instanceGuid = session_.InstanceGuid();
    request.listeningPort = current_.listeningPort;
    request.address.ipType = current_.ipType;
    request.address.ownAddress = ownAddress;
    request.address.configuredIp = current_.configuredIp;

    std::string reply;
    if (!requester_.Post(directory.server, directory.Target(directory.keepAliveScript),
                         webservice::BuildKeepAliveRequest(request), reply)) {
        host_.PostCommand(kCommandLocalLogoff);
        pause();
        return;
    }
    switch (webservice::JudgeKeepAliveReply(reply)) {
        case webservice::KeepAliveVerdict::LoggedOffByService:
            host_.PostCommand(kCommandLogoff);
            pause();
            host_.PostStatusTimer();
            host_.PostAutoCloseBox(kLoggedOffCaption, reply, 25);
            return;
        case webservice::KeepAliveVerdict::LogOffSilently:
            host_.PostCommand(kCommandLogoff);
            return;
        case webservice::KeepAliveVerdict::Accepted:
            presenceRefresh(who, directory);
            return;
    }
}

void TimerThread::presenceRefresh(const account::Credentials& who,
                                  const webservice::ServiceDirectory& directory) {
    std::string reply;
    const std::string body =
        webservice::BuildOnlineUsersRequest(who.user, who.password, session_.Buddies().Snapshot());
    if (!requester_.Post(directory.server, directory.Target(directory.onlineUsersScript), body,
                         reply)) {
        return;
    }
    switch (webservice::ClassifyOnlineUsersReply(reply)) {
        case webservice::OnlineUsersReplyKind::Empty:
            return;
        case webservice::OnlineUsersReplyKind::Xml:
            busyCount_.store(0);
            if (online_.ShowOnlineUsers(reply)) {
                host_.PostCommand(kCommandRefreshOnline);
            }
            return;
        case webservice::OnlineUsersReplyKind::NotXml:
            pause();
            if (busyCount_.fetch_add(1) + 1 == kBusyLimit) {
                session_.autoLoginAllowed.store(false);
                host_.PostCommand(kCommandLogoff);
                host_.PostAutoCloseBox(kBusyCaption, BusyServerText(), 25);
            }
            return;
    }
}

}  // namespace ostrel::app
