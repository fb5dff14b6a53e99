// The Network Settings dialog on the offscreen platform.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/settings/Settings.h"
#include "netconfig/ui/CMyPropertySheet.h"
#include "tests/account/ui/ModalDriver.h"
#include "tests/support/QtTestApp.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::netconfig;

namespace {

class FakeHost : public NetworkSettingsHost {
public:
    bool CallActive() override { return callActive; }
    void OpenReachabilityTest() override { ++tests; }
    void OpenHelp() override { ++help; }
    bool callActive = false;
    int tests = 0;
    int help = 0;
};

class NetworkSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ostrel::test::qtApp(); }
    webservice::test::ScopedConfigDir config_;
    FakeHost host_;
};

}  // namespace

TEST_F(NetworkSettingsDialogTest, RefusedDuringACallAndNothingChanges) {
    settings::write(settings::value::IPType, 2);
    host_.callActive = true;
    ostrel::test::ModalDriver modals;
    const auto result = CMyPropertySheet::Open(host_);
    EXPECT_EQ(result.outcome, CMyPropertySheet::Outcome::RefusedDuringCall);
    ASSERT_EQ(modals.texts().size(), 1u);
    EXPECT_TRUE(modals.texts()[0].startsWith(
        "You cannot change the network setting while you are on a call."));
    EXPECT_EQ(settings::read(settings::value::IPType), 2u);
}

TEST_F(NetworkSettingsDialogTest, ControlsEnableWithTheirBoxesAndTheDefaultPortReturns) {
    NetworkSettings stored;
    stored.useAlternatePort = 1;
    stored.listeningPort = 5000;
    SaveNetworkSettings(stored);
    CMyPropertySheet sheet(host_, LoadNetworkSettings());
    EXPECT_FALSE(sheet.proxyHostEdit()->isEnabled());
    EXPECT_TRUE(sheet.listeningPortEdit()->isEnabled());
    EXPECT_EQ(sheet.listeningPortEdit()->text(), "5000");
    sheet.alternatePortBox()->setChecked(false);
    EXPECT_EQ(sheet.listeningPortEdit()->text(), "1720");
    EXPECT_FALSE(sheet.listeningPortEdit()->isEnabled());
    sheet.proxyBox()->setChecked(true);
    EXPECT_TRUE(sheet.proxyPortEdit()->isEnabled());
    sheet.proxyBox()->setChecked(false);
    ASSERT_TRUE(sheet.Confirm());
    EXPECT_EQ(settings::read(settings::value::ListeningPort), 1720u);
    EXPECT_EQ(settings::read(settings::value::UseAlternateListeningPort), 0u);
}

TEST_F(NetworkSettingsDialogTest, RefusalsKeepTheDialogOpenAndSaveNothing) {
    CMyPropertySheet sheet(host_, LoadNetworkSettings());
    ostrel::test::ModalDriver modals;
    sheet.proxyBox()->setChecked(true);
    sheet.proxyHostEdit()->setText("proxy.local");
    sheet.proxyPortEdit()->setText("0");
    EXPECT_FALSE(sheet.Confirm());
    sheet.proxyBox()->setChecked(false);
    sheet.pageButton(ConnectionPage::PrivateNetwork)->setChecked(true);
    sheet.lanCallsBox()->setChecked(true);
    EXPECT_FALSE(sheet.Confirm());
    EXPECT_EQ(modals.texts(),
              (std::vector<QString>{"Please enter port for HTTP proxy.",
                                    "Please enter the internal IP addres or the hostname of "
                                    "your computer"}));
    EXPECT_EQ(settings::readOptional(settings::value::ConfiguredIP), std::nullopt);
    EXPECT_EQ(settings::read(settings::value::IPType), 0u);

    // Unticked, the private network needs no address and stores mode 4.
    sheet.lanCallsBox()->setChecked(false);
    EXPECT_TRUE(sheet.Confirm());
    EXPECT_EQ(settings::read(settings::value::IPType), 4u);
}

TEST_F(NetworkSettingsDialogTest, ConfirmationsOfTheFirewallAndLanModes) {
    ostrel::test::ModalDriver modals;
    {
        CMyPropertySheet sheet(host_, LoadNetworkSettings());
        sheet.pageButton(ConnectionPage::Firewall)->setChecked(true);
        sheet.autoDetectBox()->setChecked(true);
        EXPECT_FALSE(sheet.firewallEdit()->isEnabled());
        sheet.proxyBox()->setChecked(true);
        sheet.proxyHostEdit()->setText("proxy");
        sheet.proxyPortEdit()->setText("3128");
        modals.plan(QMessageBox::No);
        EXPECT_FALSE(sheet.Confirm());  // proxy and firewall differ: stay
        EXPECT_TRUE(sheet.Confirm());   // Yes, then the forwarding information
        ASSERT_EQ(modals.seen().size(), 3u);
        EXPECT_EQ(modals.seen()[2].title, "Firewall configuration information");
        EXPECT_TRUE(modals.seen()[2].text.contains("UDP port-1720"));
        EXPECT_EQ(settings::read(settings::value::IPType), 1u);
    }
    modals.clear();
    CMyPropertySheet sheet(host_, LoadNetworkSettings());
    EXPECT_TRUE(sheet.autoDetectBox()->isChecked());
    sheet.proxyBox()->setChecked(false);
    sheet.pageButton(ConnectionPage::PrivateNetwork)->setChecked(true);
    sheet.lanCallsBox()->setChecked(true);
    sheet.lanEdit()->setText(" 10.0.0.7 ");
    EXPECT_TRUE(sheet.Confirm());
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].title, "Settings Changed");
    EXPECT_EQ(settings::read(settings::value::ConfiguredIP), "10.0.0.7");

    // Direct clears the address again; "Apply" also opens the reachability test.
    CMyPropertySheet direct(host_, LoadNetworkSettings());
    direct.pageButton(ConnectionPage::Direct)->setChecked(true);
    for (auto* button : direct.findChildren<QPushButton*>()) {
        if (button->text() == "Apply Settings and Test") {
            button->click();
        }
    }
    EXPECT_EQ(host_.tests, 1);
    EXPECT_EQ(settings::read(settings::value::ConfiguredIP), "");
    EXPECT_EQ(settings::read(settings::value::IPType), 0u);
}
