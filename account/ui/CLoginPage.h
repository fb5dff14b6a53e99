// Account pages: the "Login" page of the main window (user name, password, "Auto Login",
// "Login" and the two links) with `Login` and `Logoff`. GUI thread only: both wait for their
// worker thread while dispatching the window's events, and answer the worker's prompts here.
#pragma once

#include <QWidget>

#include <memory>

#include "account/AccountSession.h"
#include "account/LoginFlow.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace ostrel::account {

class AccountHost;

class CLoginPage : public QWidget, private LoginPrompts {
    Q_OBJECT
public:
    CLoginPage(AccountSession& session, AccountHost& host, LoginEnvironment environment = {},
               QWidget* parent = nullptr);
    ~CLoginPage() override;

    // The "Login" button and menu entry (interactive) and the automatic login (not).
    // Returns when the login has ended.
    void Login(bool interactive);
    // Menu, tray, exit and the periodic cycle. `lockHeld`: the exit sequence holds the lock.
    void Logoff(bool contactService, bool quick, bool lockHeld = false);
    // The exit sequence's try of the shared lock (5 ms); false while a login or logoff runs.
    bool TryLockForExit();

    uint32_t State() const { return flow_.State(); }
    bool InProgress() const { return flow_.InProgress(); }
    const webservice::LoginReply& Reply() const { return flow_.Reply(); }

    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* autoLoginBox() const { return autoLogin_; }
    QPushButton* loginButton() const { return login_; }

signals:
    // A login succeeded: the online page expands its "Online" branch.
    void loggedIn();
    void loggedOff();

private:
    void ShowAutoCloseBox(const std::string& caption, const std::string& text, int seconds,
                          Icon icon) override;
    bool AskYesNo(const std::string& text, Icon icon) override;
    void OpenServicePage(const std::string& url) override;
    void waitForWorker(unsigned sliceMs);
    void autoLoginChanged(bool on);

    AccountSession& session_;
    AccountHost& host_;
    LoginFlow flow_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* autoLogin_;
    QPushButton* login_;
};

}  // namespace ostrel::account
