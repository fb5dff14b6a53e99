#include "app/ui/AccountParts.h"

#include <QMenu>
#include <QMetaObject>
#include <QVBoxLayout>

#include "account/ui/CLoginPage.h"
#include "account/ui/COnlinePage.h"
#include "app/settings/Settings.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/CallTargetPage.h"
#include "app/ui/WindowNotices.h"
#include "desktop/CDelayMessageBox2.h"
#include "platform/Platform.h"

namespace ostrel::app {

namespace {

// The window's long-lived requests (keep-alive, presence, call reports) wait this long.
constexpr uint32_t kRequestTimeoutSeconds = 60;
constexpr int kServicePageWidth = 350;
constexpr int kServicePageHeight = 500;
const char* const kContextHelpPage = "/app_links/app_contexthelp.aspx?id=?ClientType=0";

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The buddies page in the window: the online list, and Talk's target when it is in front.
class OnlineCallPage : public QWidget, public CallTargetPage {
public:
    OnlineCallPage(account::COnlinePage* list, AccountParts& parts)
        : list_(list), parts_(parts) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(list);
        setObjectName(QStringLiteral("OnlinePage"));
    }

    std::optional<engine::ConnectionRequest> prepareCall(bool quiet) override {
        return parts_.buddyCallTarget(list_->SelectedOnlineBuddy(), quiet);
    }

private:
    account::COnlinePage* list_;
    AccountParts& parts_;
};

}  // namespace

AccountParts::AccountParts(COstrelDlg& window, const std::string& instanceGuid,
                           std::function<std::string(unsigned)> detectOwnAddress,
                           bool timerThread)
    : window_(window),
      guardedWindow_(&window),
      session_(instanceGuid),
      requester_(kRequestTimeoutSeconds,
                 webservice::HttpRequesterOptions{[this] { return session_.exiting.load(); }}),
      detectOwnAddress_(std::move(detectOwnAddress)),
      useTimerThread_(timerThread),
      windowTimers_(static_cast<WindowTimerHost&>(*this)) {}

AccountParts::~AccountParts() {
    // The thread posts to the window: it ends before anything it might reach goes.
    stopTimerThread();
}

void AccountParts::stopTimerThread() {
    if (timer_) {
        timer_->Quit();
    }
}

void AccountParts::install(Links links) {
    links_ = std::move(links);

    account::LoginEnvironment environment;
    environment.detectOwnAddress = detectOwnAddress_;
    environment.shuttingDown = [this] { return session_.exiting.load(); };
    login_ = new account::CLoginPage(session_, *this, environment);
    window_.setPage(COstrelDlg::Page::Login, login_);

    onlinePage_ = new account::COnlinePage(session_, online_, *this);
    window_.setPage(COstrelDlg::Page::Online, new OnlineCallPage(onlinePage_, *this));
    QObject::connect(login_, &account::CLoginPage::loggedIn, onlinePage_,
                     &account::COnlinePage::ExpandOnline);

    window_.setMenuHandler(COstrelDlg::MenuEntry::Login, [this] {
        if (!session_.LoggedIn()) {
            login_->Login(true);
        }
    });
    window_.setMenuHandler(COstrelDlg::MenuEntry::LogOff, [this] {
        if (session_.LoggedIn()) {
            login_->Logoff(true, false);
        }
    });
    window_.setMenuHandler(COstrelDlg::MenuEntry::AddDeleteBuddy, [this] {
        if (!session_.LoggedIn()) {
            window_.notices().box(QStringLiteral("You have to login first to add a buddy."));
            return;
        }
        onlinePage_->OpenBuddyList();
    });
    window_.setMenuHandler(COstrelDlg::MenuEntry::Refresh, [this] { onlinePage_->Refresh(); });
    window_.setExitLogoff([this] { return logOffForExit(); });
    window_.setTimerHandlers([this] { windowTimers_.OnCallClock(platform::tickCount()); },
                             [this] { windowTimers_.OnStatusTimer(); });

    if (useTimerThread_) {
        TimerThreadOptions options;
        options.detectOwnAddress = detectOwnAddress_;
        timer_ = std::make_unique<TimerThread>(static_cast<TimerHost&>(*this), session_, online_,
                                               requester_, options);
        if (timer_->Start()) {
            window_.addExitStep([this] {
                platform::trace("Exit: stopping the timer thread");
                stopTimerThread();
            });
            // The first status check at once rather than after 45 seconds.
            windowTimers_.OnStatusTimer();
        } else {
            timer_.reset();
        }
    }
}

bool AccountParts::logOffForExit() {
    if (!login_->TryLockForExit()) {
        return false;
    }
    if (session_.LoggedIn()) {
        login_->Logoff(true, true, true);  // lets go of the lock when done
    } else {
        session_.Lock().SignalSemaphore();
    }
    // Only now: the flag abandons requests in flight, the log-off's among them.
    session_.exiting.store(true);
    return true;
}

std::optional<engine::ConnectionRequest> AccountParts::buddyCallTarget(const std::string& chosen,
                                                                       bool quiet) {
    const std::string name = contextBuddy_.empty() ? chosen : contextBuddy_;
    contextBuddy_.clear();
    if (name.empty()) {
        if (!quiet) {
            window_.notices().box(QStringLiteral(
                "You have to first select a buddy who is online. Select the Online tab and click "
                "on a buddy who is online, then press Talk."));
        }
        return std::nullopt;
    }
    const account::BuddyCallTarget target = account::FindBuddyToCall(online_, name);
    if (!target.callable) {
        if (!quiet) {
            window_.notices().box(text(target.refusal));
        }
        return std::nullopt;
    }
    engine::ConnectionRequest request;
    request.address = target.address;
    request.port = target.port;
    // Behind a forwarded port the address may serve several users: ask for this one.
    request.confirmUser = target.notDirect;
    request.expectedUser = name;
    return request;
}

// --- AccountHost ---

void AccountParts::EnterLoggedInState(const std::string& user) {
    const account::Credentials who = session_.LoggedInCredentials();
    window_.setPopupUrl(text(login_->Reply().popupUrl));
    window_.loggedIn(text(user), text(who.password));
}

void AccountParts::LeaveLoggedInState() {
    window_.loggedOut();
    // The cards belong to the account that logged off.
    TakeTelephoneData({}, {});
}

void AccountParts::SetStatusText(int pane, const QString& value) {
    window_.setStatusText(pane, value);
}

void AccountParts::TakeTelephoneData(const std::vector<webservice::Provider>& providers,
                                     const std::vector<webservice::CallingCard>& cards) {
    if (links_.takeTelephoneData) {
        links_.takeTelephoneData(providers, cards);
    }
}

void AccountParts::RunStatusTimerNow() {
    windowTimers_.OnStatusTimer();
}

void AccountParts::OpenNetworkSettings() {
    if (links_.openNetworkSettings) {
        links_.openNetworkSettings();
    }
}

void AccountParts::OpenWebPage(const std::string& path) {
    window_.openWebPage(text(path));
}

void AccountParts::OpenContextHelp(int topic) {
    window_.openWebPage(text(kContextHelpPage + std::to_string(topic)));
}

void AccountParts::OpenServicePage(const std::string& url) {
    window_.openBrowserWindow(text(url), kServicePageWidth, kServicePageHeight);
}

void AccountParts::CallBuddy(const std::string& name) {
    window_.showPage(COstrelDlg::Page::Online);
    contextBuddy_ = name;
    window_.talk(false);
    contextBuddy_.clear();
}

void AccountParts::ShowBuddyContextMenu(const std::string& name, const QPoint& globalPos) {
    QMenu menu(&window_);
    QAction* talk = nullptr;
    if (!name.empty()) {
        talk = menu.addAction(QStringLiteral("&Talk to ") + text(name));
    }
    QAction* edit = menu.addAction(QStringLiteral("&Add/Delete Buddy"));
    QAction* chosen = menu.exec(globalPos);
    if (chosen != nullptr && chosen == talk) {
        CallBuddy(name);
    } else if (chosen != nullptr && chosen == edit) {
        onlinePage_->OpenBuddyList();
    }
}

// --- TimerHost (timer thread) ---

void AccountParts::post(std::function<void()> work) {
    // The timer thread is joined before this object goes, and the window outlives it, so
    // the queued call always finds both.
    QMetaObject::invokeMethod(&window_, std::move(work), Qt::QueuedConnection);
}

void AccountParts::PostCommand(int command) {
    post([this, command] {
        if (window_.exitFlag()) {
            return;
        }
        const bool loggedIn = session_.LoggedIn();
        switch (command) {
            case kCommandLogin:
                if (!loggedIn && !login_->InProgress()) {
                    login_->Login(false);
                }
                break;
            case kCommandLogoff:
                if (loggedIn) {
                    login_->Logoff(true, false);
                }
                break;
            case kCommandRefreshOnline:
                if (loggedIn) {
                    onlinePage_->Refresh();
                }
                break;
            case kCommandLocalLogoff:
                if (loggedIn) {
                    login_->Logoff(false, false);
                }
                break;
            default:
                window_.command(command);
                break;
        }
    });
}

void AccountParts::PostStatusTimer() {
    post([this] { windowTimers_.OnStatusTimer(); });
}

void AccountParts::PostSettingsChanged() {
    post([this] { windowTimers_.OnSettingsChanged(); });
}

void AccountParts::PostAutoCloseBox(const std::string& caption, const std::string& message,
                                    int seconds) {
    post([this, caption, message, seconds] {
        desktop::CDelayMessageBox2 box(&window_);
        box.setCaptionFormat(text(caption));
        emit window_.notices().boxShown(text(message));
        box.showBox(text(message), seconds, true, true);
    });
}

// --- WindowTimerHost ---

bool AccountParts::CallActive() {
    bool active = false;
    window_.withEngine([&](engine::Engine& engine) { active = engine.isCallActive(); });
    return active && window_.isCurrent();
}

uint32_t AccountParts::CallSeconds() {
    const QDateTime start = window_.callStartTime();
    return start.isValid() ? static_cast<uint32_t>(start.secsTo(QDateTime::currentDateTime()))
                           : 0;
}

std::vector<PartyDelay> AccountParts::PartyDelays() {
    std::vector<PartyDelay> delays;
    for (const COstrelDlg::Party& party : window_.parties()) {
        delays.push_back({party.name.toStdString(), party.lastDelayTick});
    }
    return delays;
}

void AccountParts::PostCallReport() {
    if (links_.postCallReport) {
        links_.postCallReport();
    }
}

void AccountParts::SetStatusText(int pane, const std::string& value) {
    window_.setStatusText(pane, text(value));
}

void AccountParts::ShowCongestionPopup(const std::string& value) {
    window_.notices().popup(text(value));
}

void AccountParts::RequestStatusCheck() {
    if (timer_) {
        timer_->PostStatusCheck();
    }
}

bool AccountParts::LoggedIn() {
    return session_.LoggedIn();
}

std::string AccountParts::NetworkStatusText() {
    const std::string status = timer_ ? timer_->NetworkStatusText() : std::string();
    // Until the first status check has said something, the start-up text stays.
    return status.empty() ? window_.statusText(1).toStdString() : status;
}

}  // namespace ostrel::app
