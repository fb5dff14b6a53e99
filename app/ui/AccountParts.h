// The main window's account side: the login page, the buddies page with the online list, the
// "Buddy List" dialog, the timer thread and the window timers 16 and 17. It is the pages'
// AccountHost and the timer's TimerHost and WindowTimerHost. GUI thread only, except the
// TimerHost posts, which come from the timer thread and only queue work for the window.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account/AccountSession.h"
#include "account/OnlineList.h"
#include "account/ui/AccountHost.h"
#include "app/timer/TimerHost.h"
#include "app/timer/TimerThread.h"
#include "app/timer/WindowTimers.h"
#include "engine/ConnectionRequest.h"
#include "webservice/HttpRequester.h"

namespace ostrel::account {
class CLoginPage;
class COnlinePage;
}  // namespace ostrel::account

namespace ostrel::app {

class COstrelDlg;

class AccountParts : private account::AccountHost, private TimerHost, private WindowTimerHost {
public:
    // What the other parts of the window do for the account side.
    struct Links {
        std::function<void(const std::vector<webservice::Provider>&,
                           const std::vector<webservice::CallingCard>&)>
            takeTelephoneData;
        std::function<void()> openNetworkSettings;
        // The parties of the current call as the congestion check needs them.
        std::function<std::vector<PartyDelay>()> partyDelays;
        // Every five minutes of a call: hand the call report to the timer thread.
        std::function<void()> postCallReport;
    };

    AccountParts(COstrelDlg& window, const std::string& instanceGuid,
                 std::function<std::string(unsigned)> detectOwnAddress, bool timerThread);
    ~AccountParts() override;

    // Puts the pages into the window, takes over its menu entries, commands and timers, and
    // starts the timer thread with the first status check.
    void install(Links links);

    account::AccountSession& session() { return session_; }
    account::OnlineList& onlineList() { return online_; }
    account::CLoginPage* loginPage() const { return login_; }
    account::COnlinePage* onlinePage() const { return onlinePage_; }
    TimerThread* timerThread() const { return timer_.get(); }
    // Quits and joins the timer thread (Exit does it; so does the parts' end).
    void stopTimerThread();

    // Exit's log-off: false (and nothing done) while a login or logoff holds the lock;
    // otherwise logs off when logged in, quickly and holding the lock.
    bool logOffForExit();

    // Talk from the buddies page: the selected (or given) online buddy's address, or nothing
    // after telling the user why not.
    std::optional<engine::ConnectionRequest> buddyCallTarget(const std::string& name, bool quiet);

private:
    // AccountHost.
    void EnterLoggedInState(const std::string& user) override;
    void LeaveLoggedInState() override;
    void SetStatusText(int pane, const QString& text) override;
    void TakeTelephoneData(const std::vector<webservice::Provider>& providers,
                           const std::vector<webservice::CallingCard>& cards) override;
    void RunStatusTimerNow() override;
    void OpenNetworkSettings() override;
    void OpenWebPage(const std::string& path) override;
    void OpenContextHelp(int topic) override;
    void OpenServicePage(const std::string& url) override;
    void CallBuddy(const std::string& name) override;
    void ShowBuddyContextMenu(const std::string& name, const QPoint& globalPos) override;

    // TimerHost (timer thread).
    void PostCommand(int command) override;
    void PostStatusTimer() override;
    void PostSettingsChanged() override;
    void PostAutoCloseBox(const std::string& caption, const std::string& text,
                          int seconds) override;

    // WindowTimerHost.
    bool CallActive() override;
    uint32_t CallSeconds() override;
    std::vector<PartyDelay> PartyDelays() override;
    void PostCallReport() override;
    void SetStatusText(int pane, const std::string& text) override;
    void ShowCongestionPopup(const std::string& text) override;
    void RequestStatusCheck() override;
    bool LoggedIn() override;
    std::string NetworkStatusText() override;

    // Runs `work` on the window's thread later, unless the window is gone by then.
    void post(std::function<void()> work);

    COstrelDlg& window_;
    QPointer<COstrelDlg> guardedWindow_;
    account::AccountSession session_;
    account::OnlineList online_;
    webservice::HttpRequester requester_;
    std::function<std::string(unsigned)> detectOwnAddress_;
    bool useTimerThread_;
    Links links_;
    account::CLoginPage* login_ = nullptr;
    account::COnlinePage* onlinePage_ = nullptr;
    std::unique_ptr<TimerThread> timer_;
    WindowTimers windowTimers_;
    // The name Talk from the buddy context menu asked for, instead of the selection.
    std::string contextBuddy_;
};

}  // namespace ostrel::app
