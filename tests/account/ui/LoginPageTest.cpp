// The login page on the offscreen platform, logging in to the reference service.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "account/ui/CLoginFailedDlg.h"
#include "account/ui/CLoginPage.h"
#include "app/settings/Settings.h"
#include "desktop/CDelayMessageBox2.h"
#include "tests/account/ServiceFixture.h"
#include "tests/account/ui/FakeAccountHost.h"
#include "tests/account/ui/ModalDriver.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel;
using namespace ostrel::account;

namespace {

class LoginPageTest : public account::test::ServiceFixture {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        account::test::ServiceFixture::SetUp();
        LoginFlow::ResetFirstLoginForTesting();
        desktop::CDelayMessageBox2::setTickIntervalForTesting(2);
        CLoginFailedDlg::setTickIntervalForTesting(2);
        environment_.detectOwnAddress = [this](unsigned) { return detected_; };
        environment_.loginPauseMs = 1;
    }
    void TearDown() override {
        desktop::CDelayMessageBox2::setTickIntervalForTesting(desktop::CDelayMessageBox2::kTickMs);
        CLoginFailedDlg::setTickIntervalForTesting(1000);
        account::test::ServiceFixture::TearDown();
    }

    std::string detected_ = "127.0.0.1";
    LoginEnvironment environment_;
    account::test::FakeAccountHost host_;
    AccountSession session_{"guid-page"};
};

}  // namespace

TEST_F(LoginPageTest, StartUpFillsStoredCredentialsOnlyWithAutoLogin) {
    settings::write(settings::value::User, "alice");
    settings::write(settings::value::Pass, "alice-pw");
    {
        CLoginPage page(session_, host_, environment_);
        EXPECT_FALSE(page.autoLoginBox()->isChecked());
        EXPECT_TRUE(page.userEdit()->text().isEmpty());
    }
    settings::write(settings::value::AutoLogin, 1);
    CLoginPage page(session_, host_, environment_);
    EXPECT_TRUE(page.autoLoginBox()->isChecked());
    EXPECT_EQ(page.userEdit()->text(), "alice");
    EXPECT_EQ(page.passwordEdit()->text(), "alice-pw");
    EXPECT_EQ(page.loginButton()->toolTip(),
              "Click on the login button after entering your user name and password");

    page.autoLoginBox()->setChecked(false);
    EXPECT_EQ(settings::read(settings::value::AutoLogin), 0u);
    EXPECT_EQ(settings::read(settings::value::User), "");
    EXPECT_EQ(settings::read(settings::value::Pass), "");
    page.autoLoginBox()->setChecked(true);
    EXPECT_EQ(settings::read(settings::value::AutoLogin), 1u);
}

TEST_F(LoginPageTest, LoginButtonLogsInAndLogoffReturns) {
    setBuddies("alice", {"bob"});
    CLoginPage page(session_, host_, environment_);
    bool signalled = false;
    QObject::connect(&page, &CLoginPage::loggedIn, [&] { signalled = true; });
    page.userEdit()->setText(" alice ");
    page.passwordEdit()->setText("alice-pw");
    session_.autoLoginAllowed.store(false);
    ostrel::test::ModalDriver modals;
    page.loginButton()->click();

    EXPECT_TRUE(modals.seen().empty());
    EXPECT_TRUE(session_.LoggedIn());
    EXPECT_TRUE(session_.autoLoginAllowed.load());  // the button allows it again
    EXPECT_EQ(host_.loggedInAs, std::vector<std::string>{"alice"});
    EXPECT_EQ(host_.telephoneHandOvers, 1);
    EXPECT_EQ(host_.statusTimerRuns, 1);
    EXPECT_TRUE(signalled);
    EXPECT_FALSE(page.loginButton()->isEnabled());
    EXPECT_FALSE(page.InProgress());
    EXPECT_EQ(session_.Buddies().Snapshot(), std::vector<std::string>{"bob"});
    EXPECT_NE(std::find(host_.statusHistory.begin(), host_.statusHistory.end(),
                        "Logging in.. Please wait"),
              host_.statusHistory.end());

    page.Logoff(true, false);
    EXPECT_FALSE(session_.LoggedIn());
    EXPECT_EQ(page.State(), kLoggedOff);
    EXPECT_EQ(host_.leftLoggedIn, 1);
    EXPECT_TRUE(page.loginButton()->isEnabled());
    EXPECT_FALSE(isOnline("alice"));
}

TEST_F(LoginPageTest, BlankUserNameAsksForOne) {
    CLoginPage page(session_, host_, environment_);
    page.userEdit()->setText("   ");
    ostrel::test::ModalDriver modals;
    page.Login(true);
    EXPECT_EQ(modals.texts(), std::vector<QString>{"Enter User Name"});
    EXPECT_TRUE(host_.loggedInAs.empty());
    EXPECT_EQ(host_.statusTimerRuns, 0);
}

TEST_F(LoginPageTest, RefusedLoginShowsTheServiceReasonAndStopsAutomaticLogin) {
    CLoginPage page(session_, host_, environment_);
    page.userEdit()->setText("alice");
    page.passwordEdit()->setText("wrong");
    ostrel::test::ModalDriver modals;
    page.Login(false);
    EXPECT_EQ(page.State(), kLoginRefused);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_TRUE(modals.seen()[0].title.startsWith("Login Failed."));
    EXPECT_FALSE(session_.autoLoginAllowed.load());
    EXPECT_EQ(host_.panes[0], "Please Login");
    EXPECT_TRUE(page.loginButton()->isEnabled());
}

TEST_F(LoginPageTest, UnreachableServerOffersTheNetworkSettings) {
    detected_.clear();
    CLoginPage page(session_, host_, environment_);
    page.userEdit()->setText("alice");
    ostrel::test::ModalDriver modals;
    QString title;
    modals.onDialog = [&](QDialog& dialog) {
        title = dialog.windowTitle();
        for (auto* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == "Show Network Settings") {
                button->click();
            }
        }
    };
    page.Login(true);
    EXPECT_EQ(page.State(), kLoginNoConnection);
    EXPECT_EQ(title, "Talvero Login Failed.");
    EXPECT_EQ(host_.networkSettingsOpened, 1);
    EXPECT_EQ(host_.panes[0], "Please Login");
    EXPECT_TRUE(session_.autoLoginAllowed.load());

    // Left alone, the dialog counts down and closes without opening the settings.
    modals.onDialog = [](QDialog&) {};
    page.Login(true);
    EXPECT_EQ(host_.networkSettingsOpened, 1);
}

TEST_F(LoginPageTest, ExitHoldsTheLockAndLogsOffQuickly) {
    CLoginPage page(session_, host_, environment_);
    page.userEdit()->setText("bob");
    page.passwordEdit()->setText("bob pw");
    page.Login(true);
    ASSERT_TRUE(session_.LoggedIn());
    ASSERT_TRUE(page.TryLockForExit());
    page.Logoff(true, true, true);
    EXPECT_FALSE(session_.LoggedIn());
    EXPECT_EQ(page.State(), kLoggedOff);
    // A login during the rest of the exit is ignored.
    page.Login(true);
    EXPECT_FALSE(session_.LoggedIn());
    EXPECT_FALSE(page.TryLockForExit());
    session_.Lock().SignalSemaphore();
}
