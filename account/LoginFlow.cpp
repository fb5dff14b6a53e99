#include "account/LoginFlow.h"

#include <chrono>
#include <thread>

#include "app/settings/Settings.h"
#include "netconfig/NetworkSettings.h"
#include "netconfig/OwnAddress.h"
#include "webservice/HttpRequester.h"
#include "webservice/ReplyText.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

namespace ostrel::account {

namespace {

// Cleared by the first login of the run: later automatic logins keep the service's messages
// and pages to themselves.
std::atomic<bool> firstLogin{true};

// The lock is only ever tried, never waited for: a login or logoff that runs is left alone.
constexpr unsigned long kLockTryMs = 10;

webservice::AccountRequest accountRequest(const std::string& user, const std::string& password,
                                          const std::string& guid, const std::string& ownAddress) {
    const netconfig::NetworkSettings net = netconfig::LoadNetworkSettings();
    webservice::AccountRequest request;
    request.user = user;
    request.password = password;
    request.instanceGuid = guid;
    request.listeningPort = net.listeningPort;
    request.address.ipType = net.ipType;
    request.address.ownAddress = ownAddress;
    request.address.configuredIp = net.configuredIp;
    return request;
}

}  // namespace

std::string LoginStateStatusText(uint32_t state) {
    switch (state) {
        case kLoginStarted:
            return "Logging in.. Please wait";
        case kLoginVerifying:
            return "Verifiying User";
        case kLogoffUnderWay:
            return "Logging off.. Please wait";
        default:
            return {};
    }
}

LoginFlow::LoginFlow(AccountSession& session, LoginPrompts& prompts, LoginEnvironment environment)
    : session_(session), prompts_(prompts), environment_(std::move(environment)) {}

LoginFlow::~LoginFlow() {
    joinWorker();
}

void LoginFlow::ResetFirstLoginForTesting() {
    firstLogin.store(true);
}

void LoginFlow::joinWorker() {
    if (worker_) {
        worker_->Wait(sync::kInfinite);
        worker_.reset();
    }
}

bool LoginFlow::WorkerRunning() const {
    return worker_ && worker_->IsRunning();
}

bool LoginFlow::WaitWorker(unsigned long ms) {
    return !worker_ || worker_->Wait(ms) != sync::WaitResult::TimedOut;
}

std::string LoginFlow::detect(unsigned seconds) const {
    if (environment_.detectOwnAddress) {
        return environment_.detectOwnAddress(seconds);
    }
    return netconfig::DetectOwnAddress(seconds);
}

LoginFlow::Start LoginFlow::StartLogin(bool interactive, const std::string& user,
                                       const std::string& password) {
    const bool showMessages = interactive || firstLogin.load();
    firstLogin.store(false);

    const std::string trimmed(webservice::TrimBlanks(user));
    if (trimmed.empty()) {
        return Start::EmptyUserName;
    }
    // A login started while another runs (its wait dispatches events) must not touch the
    // running one's fields, so nothing is written before the lock is ours.
    if (session_.Lock().WaitOnSemaphore(kLockTryMs) != 1) {
        return Start::Busy;
    }
    lockTakenByUs_ = true;
    inProgress_.store(true);
    showServiceMessages_ = showMessages;
    joinWorker();
    user_ = trimmed;
    password_ = password;
    session_.LeaveLoggedIn();
    state_.store(kLoginStarted);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    reply_.Reset();

    worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return loginWorker(); },
                                                    nullptr, "Login Thread");
    if (!worker_->Start(false)) {
        worker_.reset();
        state_.store(kLoginServerUnreachable);
    }
    return Start::Started;
}

uint32_t LoginFlow::loginWorker() {
    std::this_thread::sleep_for(std::chrono::milliseconds(environment_.loginPauseMs));
    webservice::HttpRequester requester(environment_.requestTimeoutSeconds,
                                        {environment_.shuttingDown});

    const std::string ownAddress = detect(15);
    if (ownAddress.empty()) {
        state_.store(kLoginNoConnection);
        return 0;
    }
    webservice::ServiceDirectory directory = session_.Directory();
    const bool loaded =
        environment_.webHost.empty()
            ? webservice::LoadServiceDirectory(requester, directory)
            : webservice::LoadServiceDirectory(requester, directory, environment_.webHost);
    // A partial fetch still updates the fields it read, as the next login expects.
    session_.SetDirectory(directory);
    if (!loaded) {
        state_.store(kLoginServerUnreachable);
        return 0;
    }

    state_.store(kLoginVerifying);
    const std::string body = webservice::BuildLoginRequest(
        accountRequest(user_, password_, session_.InstanceGuid(), ownAddress));
    std::string text;
    if (!requester.Post(directory.server, directory.Target(directory.loginScript), body, text)) {
        state_.store(kLoginServerUnreachable);
        return 0;
    }
    if (!webservice::ParseLoginReply(text, reply_)) {
        state_.store(kLoginServerBusy);
        prompts_.ShowAutoCloseBox(kBusyLoginCaption, kBusyLoginText, 10,
                                  LoginPrompts::Icon::Information);
        return 0;
    }

    if (reply_.error == 0) {
        if (showServiceMessages_) {
            if (!reply_.showUserMessage.empty() &&
                prompts_.AskYesNo(reply_.showUserMessage, LoginPrompts::Icon::Information) &&
                !reply_.urlToNavigate.empty()) {
                prompts_.OpenServicePage(reply_.urlToNavigate);
            }
            if (!reply_.popupUrl.empty()) {
                prompts_.OpenServicePage(reply_.popupUrl);
            }
        }
        state_.store(kLoggedIn);
        return 1;
    }

    prompts_.ShowAutoCloseBox(kRefusedLoginCaption, reply_.errDescription, 25,
                              LoginPrompts::Icon::Error);
    if (showServiceMessages_ && !reply_.showUserMessage.empty() &&
        prompts_.AskYesNo(reply_.showUserMessage, LoginPrompts::Icon::None) &&
        !reply_.urlToNavigate.empty()) {
        prompts_.OpenServicePage(reply_.urlToNavigate);
    }
    state_.store(kLoginRefused);
    return 0;
}

uint32_t LoginFlow::FinishLogin() {
    joinWorker();
    const uint32_t state = state_.load();
    if (state == kLoggedIn) {
        session_.EnterLoggedIn({user_, password_});
        session_.Buddies().ReplaceAll(reply_.buddyNames);
        session_.firstRefresh.store(true);
    } else if (state == kLoginRefused || state == kLoginServerBusy) {
        session_.autoLoginAllowed.store(false);
    }
    return state;
}

void LoginFlow::EndLogin() {
    if (session_.LoggedIn()) {
        const bool keep = settings::read(settings::value::AutoLogin) == 1;
        settings::write(settings::value::User, keep ? user_ : std::string());
        settings::write(settings::value::Pass, keep ? password_ : std::string());
    }
    inProgress_.store(false);
    if (lockTakenByUs_) {
        lockTakenByUs_ = false;
        session_.Lock().SignalSemaphore();
    }
}

LoginFlow::Start LoginFlow::StartLogoff(bool contactService, bool quick, bool lockHeld) {
    if (!lockHeld && session_.Lock().WaitOnSemaphore(kLockTryMs) != 1) {
        return Start::Busy;
    }
    lockTakenByUs_ = !lockHeld;
    inProgress_.store(true);
    quickLogoff_ = quick;
    joinWorker();
    if (!contactService) {
        session_.LeaveLoggedIn();
        inProgress_.store(false);
        if (lockTakenByUs_) {
            lockTakenByUs_ = false;
            session_.Lock().SignalSemaphore();
        }
        return Start::Started;
    }
    // The worker reads the credentials of this login; keep them where it looks.
    const Credentials credentials = session_.LoggedInCredentials();
    user_ = credentials.user;
    password_ = credentials.password;
    state_.store(kLogoffUnderWay);
    worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return logoffWorker(); },
                                                    nullptr, "Logoff thread");
    if (!worker_->Start(false)) {
        worker_.reset();
        state_.store(kLogoffFailed);
    }
    return Start::Started;
}

uint32_t LoginFlow::logoffWorker() {
    webservice::HttpRequester requester(
        quickLogoff_ ? environment_.quickLogoffTimeoutSeconds : environment_.requestTimeoutSeconds,
        {environment_.shuttingDown});
    state_.store(kLogoffUnderWay);
    const std::string ownAddress = detect(5);
    if (ownAddress.empty()) {
        state_.store(kLogoffNoConnection);
        return 0;
    }
    const webservice::ServiceDirectory directory = session_.Directory();
    const std::string body = webservice::BuildLogoffRequest(
        accountRequest(user_, password_, session_.InstanceGuid(), ownAddress));
    std::string text;
    if (!requester.Post(directory.server, directory.Target(directory.logoffScript), body, text)) {
        state_.store(kLogoffFailed);
        return 0;
    }
    state_.store(webservice::LogoffAccepted(text) ? kLoggedOff : kLogoffRefused);
    return 1;
}

uint32_t LoginFlow::FinishLogoff() {
    joinWorker();
    session_.LeaveLoggedIn();
    inProgress_.store(false);
    if (lockTakenByUs_) {
        lockTakenByUs_ = false;
        session_.Lock().SignalSemaphore();
    }
    return state_.load();
}

}  // namespace ostrel::account
