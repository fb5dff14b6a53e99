// The Telephone page on the offscreen platform: dial keys, clicks and digits, the delete key,
// Ctrl+digit, the recent numbers, the "Examples" link, and preparing a call through it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/settings/Settings.h"
#include "engine/NetCore.h"
#include "phone/GatewayLookup.h"
#include "phone/ui/CLookupFailedDlg.h"
#include "phone/ui/CTelephonePage.h"
#include "tests/engine/RecordingSink.h"
#include "tests/phone/GatewayProcess.h"
#include "tests/phone/TestPhoneHost.h"
#include "tests/support/QtTestApp.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::phone;
using phonetest::DigitRecordingEngine;
using phonetest::TestPhoneHost;

namespace {

class TelephonePageTest : public ::testing::Test {
protected:
    test::QtAppFirst app_;
    webservice::test::ScopedConfigDir config_;
    DigitRecordingEngine engine_;
    TestPhoneHost host_;

    void SetUp() override { host_.engine = &engine_; }

    void click(CTelephonePage& page, int id) { page.button(id)->click(); }
};

Provider gatewayProvider(uint32_t id, const std::string& host, uint16_t port) {
    Provider p;
    p.id = id;
    p.displayName = "Telephone";
    p.gatewayHosts = {{host, port}};
    p.params = {{"enable_auto_dtmf", "1"}, {"delay_for_acct_number", "10"}};
    return p;
}

}  // namespace

TEST_F(TelephonePageTest, KeysDuringACallTypeClickAndGoOnceToEveryPeer) {
    engine_.callActive = true;
    CTelephonePage page(host_);
    click(page, 1083);  // 5
    EXPECT_EQ(page.numberText(), "5");
    EXPECT_EQ(host_.clicks, std::vector<std::string>{"2.wav"});
    ASSERT_EQ(engine_.sent.size(), 1u);
    EXPECT_EQ(engine_.sent[0].digits, "5");
    EXPECT_FALSE(engine_.sent[0].session);  // no session named: every connected peer

    click(page, 1089);  // 0
    click(page, 1090);  // #
    click(page, 1088);  // *
    click(page, 1067);  // 1
    click(page, 1080);  // 2
    EXPECT_EQ(page.numberText(), "50#*12");
    EXPECT_EQ(host_.clicks,
              (std::vector<std::string>{"2.wav", "1.wav", "2.wav", "1.wav", "2.wav", "1.wav"}));
    ASSERT_EQ(engine_.sent.size(), 6u);
    EXPECT_EQ(engine_.sent[1].digits, "0");
    EXPECT_EQ(engine_.sent[3].digits, "*");
}

TEST_F(TelephonePageTest, KeysOutsideACallOnlyEditTheNumber) {
    CTelephonePage page(host_);
    for (int id : {1067, 1080, 1081, 1082, 1083, 1084, 1085, 1086, 1087, 1088, 1089, 1090}) {
        click(page, id);
    }
    EXPECT_EQ(page.numberText(), "123456789*0#");
    EXPECT_TRUE(host_.clicks.empty());
    EXPECT_TRUE(engine_.sent.empty());

    host_.engine = nullptr;  // between two engines
    click(page, 1081);
    EXPECT_EQ(page.numberText(), "123456789*0#3");
    EXPECT_TRUE(host_.clicks.empty());
}

TEST_F(TelephonePageTest, DeleteRemovesTheLastCharacterAndSendsNothing) {
    engine_.callActive = true;
    CTelephonePage page(host_);
    click(page, 1178);
    EXPECT_EQ(page.numberText(), "");
    page.setNumberText("12");
    click(page, 1178);
    EXPECT_EQ(page.numberText(), "1");
    click(page, 1178);
    click(page, 1178);
    EXPECT_EQ(page.numberText(), "");
    EXPECT_TRUE(engine_.sent.empty());
    EXPECT_TRUE(host_.clicks.empty());
}

TEST_F(TelephonePageTest, CtrlDigitPressesTheKeyAndAPlainDigitOnlyTypes) {
    engine_.callActive = true;
    CTelephonePage page(host_);
    page.show();
    QLineEdit* edit = page.numberField()->lineEdit();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(page.numberText(), "3");
    ASSERT_EQ(engine_.sent.size(), 1u);
    EXPECT_EQ(engine_.sent[0].digits, "3");
    EXPECT_EQ(host_.clicks, std::vector<std::string>{"2.wav"});

    QTest::keyClick(edit, Qt::Key_3);
    EXPECT_EQ(page.numberText(), "33");
    EXPECT_EQ(engine_.sent.size(), 1u);

    // The shortcut works wherever the focus is on the page, and only for dial characters.
    QTest::keyClick(page.button(1080), Qt::Key_8, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(page.numberText(), "338");
    EXPECT_EQ(engine_.sent.size(), 2u);

    // Outside the page nothing happens.
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(&elsewhere, Qt::Key_4, Qt::ControlModifier);
    EXPECT_EQ(page.numberText(), "338");
}

TEST_F(TelephonePageTest, RecentNumbersFillTheListAndExamplesOpensItsPage) {
    ASSERT_TRUE(settings::write(settings::value::TelephoneList, "555 0800 "));
    CTelephonePage page(host_);
    ASSERT_EQ(page.numberField()->count(), 2);
    EXPECT_EQ(page.numberField()->itemText(0), "555");
    EXPECT_EQ(page.numberField()->itemText(1), "0800");
    EXPECT_EQ(page.numberField()->toolTip(),
              "Enter the phone number or IP address or a computer name you wish to call.");

    emit page.examplesLink()->linkActivated(QStringLiteral("examples"));
    EXPECT_EQ(host_.pages,
              std::vector<std::string>{"/app_links/app_phone_usage_examples.aspx?ClientType=0"});
}

TEST_F(TelephonePageTest, PreparedCallRemembersTheNumberAndKeepsTheField) {
    phonetest::GatewayProcess gateway;
    ASSERT_TRUE(gateway.ok());
    ASSERT_TRUE(settings::write(settings::value::TelephoneList, "0800 5551234 "));
    host_.book.providers = {gatewayProvider(1, "127.0.0.1", gateway.lookupPort())};
    host_.book.cards = {{1, "1234", "99", 1}};
    CTelephonePage page(host_);
    page.setNumberText(" 555-1234 ");
    engine::ConnectionRequest request;
    ASSERT_TRUE(page.prepareTelephoneCall(request));
    EXPECT_EQ(request.port, gateway.bridgePort());
    EXPECT_EQ(request.expectedUser, "555-1234");
    EXPECT_EQ(request.dtmf3, "5551234");
    EXPECT_EQ(host_.connectingTexts, std::vector<QString>{kResolvingText});
    EXPECT_EQ(settings::read(settings::value::TelephoneList), "555-1234 0800 5551234 ");
    EXPECT_EQ(page.numberField()->itemText(0), "555-1234");
    EXPECT_EQ(page.numberText(), " 555-1234 ");
    EXPECT_TRUE(host_.dialogs.empty());
}

TEST_F(TelephonePageTest, EmptyNumberAndUnresolvableHostsSayWhy) {
    host_.book.providers = {gatewayProvider(1, "no-such-host.invalid", 1730)};
    host_.book.cards = {{1, "1234", "99", 1}};
    CTelephonePage page(host_);
    engine::ConnectionRequest request;
    EXPECT_FALSE(page.prepareTelephoneCall(request));
    EXPECT_EQ(host_.messages, std::vector<QString>{"Enter the phone number to call."});

    page.setNumberText("5551234");
    host_.messages.clear();
    EXPECT_FALSE(page.prepareTelephoneCall(request));
    EXPECT_EQ(host_.messages, std::vector<QString>{kHostUnresolvedText});
    EXPECT_EQ(host_.dialogs, std::vector<std::string>{"ostrel::phone::CLookupFailedDlg"});
    EXPECT_TRUE(settings::read(settings::value::TelephoneList).empty());
}

TEST_F(TelephonePageTest, CancelDuringTheLookupStopsItWithoutTheFailureDialog) {
    phonetest::GatewayProcess gateway({"--silent"});
    ASSERT_TRUE(gateway.ok());
    host_.book.providers = {gatewayProvider(1, "127.0.0.1", gateway.lookupPort())};
    host_.book.cards = {{1, "1234", "99", 1}};
    CTelephonePage page(host_);
    page.setNumberText("5551234");
    // The user presses Cancel while the window waits for the lookup.
    QTimer::singleShot(300, [this] { host_.cancel = true; });
    QElapsedTimer timer;
    timer.start();
    engine::ConnectionRequest request;
    EXPECT_FALSE(page.prepareTelephoneCall(request));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(host_.connectingTexts, (std::vector<QString>{kResolvingText, kCancellingText}));
    EXPECT_TRUE(host_.dialogs.empty());
    EXPECT_TRUE(host_.messages.empty());
}

TEST(LookupFailedDlgTest, ShowsTheCausesAndHelpOpensAPage) {
    test::qtApp();
    TestPhoneHost host;
    CLookupFailedDlg dialog(host);
    const QStringList lines = CLookupFailedDlg::lines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "Call cannot be completed now. Please try again momentarily");
    EXPECT_EQ(lines[1], "Possible Causes");
    EXPECT_EQ(lines[2], "1. Your internet connection may be down");
    EXPECT_TRUE(lines[3].startsWith("2. Your computer may be behind a firewall"));
    EXPECT_EQ(lines[4], "3. Talvero telephone gateway may be down temporarily.");
    const auto labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 6);
    const auto buttons = dialog.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 3);
    for (QPushButton* b : buttons) {
        if (b->text().contains("Help")) {
            b->click();
        }
    }
    EXPECT_EQ(host.pages.size(), 1u);
}

TEST_F(TelephonePageTest, DialPadDigitsOfARealCallReachTheGatewayInOrder) {
    phonetest::GatewayProcess gateway({"--ring-ms", "50"});
    ASSERT_TRUE(gateway.ok());
    Provider manual = gatewayProvider(1, "127.0.0.1", gateway.lookupPort());
    manual.params.clear();  // no automatic digits: everything the gateway gets is typed
    host_.book.providers = {manual};
    host_.book.cards = {{1, "1234", "99", 1}};
    enginetest::RecordingSink sink;
    engine::NetCore engine(enginetest::kIdentity, 0, sink, "alice", 6, enginetest::fastTimings());
    host_.engine = &engine;
    CTelephonePage page(host_);
    page.setNumberText("5551234");

    engine::ConnectionRequest request;
    ASSERT_TRUE(page.prepareTelephoneCall(request));
    EXPECT_FALSE(request.autoDtmf);
    click(page, 1067);  // before the call: typed only
    const auto session = engine.connect(request);
    ASSERT_TRUE(session);
    ASSERT_TRUE(test::processEventsUntil([&] { return engine.isCallActive(); }));
    for (int id : {1083, 1090, 1088, 1089}) {  // 5 # * 0
        click(page, id);
    }
    EXPECT_EQ(page.numberText(), "555123415#*0");
    EXPECT_EQ(host_.clicks, (std::vector<std::string>{"2.wav", "2.wav", "1.wav", "1.wav"}));
    ASSERT_TRUE(gateway.waitFor("digits 0 at "));
    const auto digits = gateway.linesWith("digits ");
    ASSERT_EQ(digits.size(), 4u);
    EXPECT_EQ(digits[0].rfind("digits 5 at ", 0), 0u);
    EXPECT_EQ(digits[1].rfind("digits # at ", 0), 0u);
    EXPECT_EQ(digits[2].rfind("digits * at ", 0), 0u);
    engine.stop();
    EXPECT_TRUE(gateway.waitFor("hangup 127.0.0.1:"));
}
