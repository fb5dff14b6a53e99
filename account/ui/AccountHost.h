// Account and presence pages: what the login page, the online page and the "Buddy List"
// dialog need from the main window that hosts them. The main window implements it; every
// call comes on the GUI thread.
#pragma once

#include <QPoint>
#include <QString>

#include <string>
#include <vector>

#include "webservice/LoginReply.h"

namespace ostrel::account {

class AccountHost {
public:
    virtual ~AccountHost() = default;

    // The window's logged-in look: pages switched, title "Talvero-" + user, status pane 0
    // "Logged in", the engine's identity set to the user. The session is already updated.
    virtual void EnterLoggedInState(const std::string& user) = 0;
    // Back to the login page, title "Talvero-Please Login", pane 0 "Please Login", the
    // engine's identity "UNKNOWN".
    virtual void LeaveLoggedInState() = 0;
    virtual void SetStatusText(int pane, const QString& text) = 0;
    // The login reply's telephone providers and calling cards, for the gateway manager.
    virtual void TakeTelephoneData(const std::vector<webservice::Provider>& providers,
                                   const std::vector<webservice::CallingCard>& cards) = 0;
    // Runs the status-timer handler once now: a periodic cycle starts at once.
    virtual void RunStatusTimerNow() = 0;
    // The Network Settings dialog; the window restarts its listener when the port changed.
    virtual void OpenNetworkSettings() = 0;
    // A page on the service's web host in the browser ("/app_links/...").
    virtual void OpenWebPage(const std::string& path) = 0;
    // The context help page for a topic.
    virtual void OpenContextHelp(int topic) = 0;
    // The program's own small browser window (350 by 500) on a full address.
    virtual void OpenServicePage(const std::string& url) = 0;
    // Talk to an online buddy (double click in the online list); FindBuddyToCall gives where.
    virtual void CallBuddy(const std::string& name) = 0;
    // The buddy context menu for the item under the mouse (empty name: no buddy item).
    virtual void ShowBuddyContextMenu(const std::string& name, const QPoint& globalPos) = 0;
};

}  // namespace ostrel::account
