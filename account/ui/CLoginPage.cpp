#include "account/ui/CLoginPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "account/ui/AccountHost.h"
#include "account/ui/CLoginFailedDlg.h"
#include "app/settings/Settings.h"
#include "desktop/CDelayMessageBox2.h"

namespace ostrel::account {

namespace {

QString text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string plain(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

QMessageBox::Icon boxIcon(LoginPrompts::Icon icon) {
    switch (icon) {
        case LoginPrompts::Icon::Information:
            return QMessageBox::Information;
        case LoginPrompts::Icon::Error:
            return QMessageBox::Critical;
        default:
            return QMessageBox::NoIcon;
    }
}

// Runs `work` on the page's (GUI) thread and waits for it; the login thread calls this while
// the GUI thread dispatches events in its wait loop, so the call cannot deadlock.
template <typename Work>
void onGuiThread(QObject* page, Work work) {
    if (QThread::currentThread() == page->thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(page, work, Qt::BlockingQueuedConnection);
    }
}

constexpr const char* kRegisterPage = "/app_links/app_register.aspx?ClientType=0";
constexpr const char* kForgotPage = "/app_links/app_forgot_password.aspx?ClientType=0";

}  // namespace

CLoginPage::CLoginPage(AccountSession& session, AccountHost& host, LoginEnvironment environment,
                       QWidget* parent)
    : QWidget(parent),
      session_(session),
      host_(host),
      flow_(session, *this, std::move(environment)) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    user_->setMaxLength(63);
    password_->setMaxLength(63);
    form->addRow(QStringLiteral("User Name:"), user_);
    form->addRow(QStringLiteral("Password:"), password_);
    layout->addLayout(form);
    autoLogin_ = new QCheckBox(QStringLiteral("Auto Login"), this);
    layout->addWidget(autoLogin_);
    login_ = new QPushButton(QStringLiteral("Login"), this);
    login_->setDefault(true);
    layout->addWidget(login_);
    auto* registerLink = new QLabel(QStringLiteral("<a href=\"r\">Register User</a>"), this);
    auto* forgotLink = new QLabel(QStringLiteral("<a href=\"f\">Forgot password</a>"), this);
    layout->addWidget(registerLink);
    layout->addWidget(forgotLink);
    layout->addStretch();

    login_->setToolTip(
        QStringLiteral("Click on the login button after entering your user name and password"));
    user_->setToolTip(QStringLiteral("Enter your user name here"));
    password_->setToolTip(QStringLiteral("Enter your password here"));
    autoLogin_->setToolTip(QStringLiteral("Check this box to login automatically everytime"));

    const bool automatic = settings::read(settings::value::AutoLogin) == 1;
    autoLogin_->setChecked(automatic);
    if (automatic) {
        user_->setText(text(settings::read(settings::value::User)));
        password_->setText(text(settings::read(settings::value::Pass)));
    }

    connect(autoLogin_, &QCheckBox::toggled, this, &CLoginPage::autoLoginChanged);
    connect(login_, &QPushButton::clicked, this, [this] {
        session_.autoLoginAllowed.store(true);
        Login(true);
    });
    connect(user_, &QLineEdit::returnPressed, login_, &QPushButton::click);
    connect(password_, &QLineEdit::returnPressed, login_, &QPushButton::click);
    connect(registerLink, &QLabel::linkActivated, this,
            [this] { host_.OpenWebPage(kRegisterPage); });
    connect(forgotLink, &QLabel::linkActivated, this, [this] { host_.OpenWebPage(kForgotPage); });
}

CLoginPage::~CLoginPage() = default;

void CLoginPage::autoLoginChanged(bool on) {
    settings::write(settings::value::AutoLogin, on ? 1 : 0);
    if (!on) {
        settings::write(settings::value::User, "");
        settings::write(settings::value::Pass, "");
    }
}

bool CLoginPage::TryLockForExit() {
    return session_.Lock().WaitOnSemaphore(5) == 1;
}

void CLoginPage::waitForWorker(unsigned sliceMs) {
    // The text shows from the start, even when the worker ends within its first slice.
    std::string shown;
    do {
        const std::string status = LoginStateStatusText(flow_.State());
        if (!status.empty() && status != shown) {
            host_.SetStatusText(0, text(status));
            shown = status;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (!flow_.WaitWorker(sliceMs));
}

void CLoginPage::Login(bool interactive) {
    switch (flow_.StartLogin(interactive, plain(user_->text()), plain(password_->text()))) {
        case LoginFlow::Start::EmptyUserName:
            QMessageBox::warning(this, QStringLiteral("Login"),
                                 QString::fromLatin1(kEnterUserName));
            return;
        case LoginFlow::Start::Busy:
            return;
        case LoginFlow::Start::Started:
            break;
    }
    login_->setEnabled(false);
    waitForWorker(10);

    const uint32_t state = flow_.FinishLogin();
    if (state == kLoginServerUnreachable || state == kLoginNoConnection) {
        CLoginFailedDlg failed(host_, this);
        failed.exec();
        if (failed.NetworkSettingsChosen()) {
            host_.OpenNetworkSettings();
        }
        host_.SetStatusText(0, QStringLiteral("Please Login"));
    } else if (state == kLoginRefused || state == kLoginServerBusy) {
        host_.SetStatusText(0, QStringLiteral("Please Login"));
    } else if (state == kLoggedIn) {
        host_.EnterLoggedInState(flow_.UserName());
        host_.TakeTelephoneData(flow_.Reply().providers, flow_.Reply().callingCards);
    }
    if (!session_.LoggedIn()) {
        login_->setEnabled(true);
    }
    host_.RunStatusTimerNow();
    if (session_.LoggedIn()) {
        emit loggedIn();
    }
    flow_.EndLogin();
}

void CLoginPage::Logoff(bool contactService, bool quick, bool lockHeld) {
    if (flow_.StartLogoff(contactService, quick, lockHeld) != LoginFlow::Start::Started) {
        return;
    }
    if (contactService) {
        waitForWorker(5);
        flow_.FinishLogoff();
    }
    host_.LeaveLoggedInState();
    login_->setEnabled(true);
    emit loggedOff();
}

void CLoginPage::ShowAutoCloseBox(const std::string& caption, const std::string& message,
                                  int seconds, Icon icon) {
    onGuiThread(this, [&] {
        desktop::CDelayMessageBox2 box(this);
        box.setCaptionFormat(text(caption));
        box.showBox(text(message), seconds, true, true, QMessageBox::Ok, boxIcon(icon));
    });
}

bool CLoginPage::AskYesNo(const std::string& message, Icon icon) {
    bool yes = false;
    onGuiThread(this, [&] {
        QMessageBox box(boxIcon(icon), QStringLiteral("Talvero"), text(message),
                        QMessageBox::Yes | QMessageBox::No, this);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

void CLoginPage::OpenServicePage(const std::string& url) {
    onGuiThread(this, [&] { host_.OpenServicePage(url); });
}

}  // namespace ostrel::account
