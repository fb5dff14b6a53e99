// The two calling-card dialogs and the upload, on the offscreen platform, against the
// reference web service in-process.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "phone/ui/CCallingCardSettingsDlg.h"
#include "phone/ui/CEnterCallingCardDlg.h"
#include "phone/ui/CardUploadFlow.h"
#include "tests/phone/ServiceFixture.h"
#include "tests/phone/TestPhoneHost.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel;
using namespace ostrel::phone;
using phonetest::ServiceFixture;
using phonetest::TestPhoneHost;

namespace {

Provider provider(uint32_t id) {
    Provider p;
    p.id = id;
    p.displayName = "Telephone " + std::to_string(id);
    p.gatewayHosts = {{"127.0.0.1", 1730}};
    return p;
}

class CardDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.ok());
        host_.accountData = service_.account();
        host_.book.providers = {provider(1), provider(2)};
    }

    test::QtAppFirst app_;
    ServiceFixture service_;
    TestPhoneHost host_;
};

}  // namespace

TEST_F(CardDialogsTest, NotLoggedInBothDialogsAndTheUploadSaySoAndDoNothing) {
    host_.accountData.loggedIn = false;
    CallingCard card;
    Provider chosen;
    EXPECT_FALSE(CEnterCallingCardDlg::ask(host_, nullptr, card, chosen));
    CCallingCardSettingsDlg::run(host_, nullptr);
    EXPECT_FALSE(uploadCards(host_, nullptr, {{1, "1", "1", 1}}));
    EXPECT_EQ(host_.messages,
              (std::vector<QString>{
                  "You can configure calling card information only after you login",
                  "You can configure calling card information only after you login",
                  "Cannot update since you are not logged in. Please login and try again"}));
    EXPECT_TRUE(host_.dialogs.empty());
    EXPECT_TRUE(service_.login().callingCards.empty());
}

TEST_F(CardDialogsTest, EnteredCardIsCheckedFieldByField) {
    CEnterCallingCardDlg dialog(host_);
    ASSERT_EQ(dialog.providerList()->count(), 3);
    EXPECT_EQ(dialog.providerList()->itemText(0), "<select>");
    EXPECT_EQ(dialog.providerList()->itemText(2), "Telephone 2");
    dialog.accept();
    dialog.providerList()->setCurrentIndex(2);
    dialog.accept();
    dialog.accountField()->setText("  ");
    dialog.accept();
    dialog.accountField()->setText(" 12345 ");
    dialog.accept();
    EXPECT_EQ(
        host_.messages,
        (std::vector<QString>{"Please select a provider", "Please enter the account number",
                              "Please enter the account number", "Please enter the pin number"}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.pinField()->setText("987");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.card().providerId, 2u);
    EXPECT_EQ(dialog.card().accountNumber, "12345");
    EXPECT_EQ(dialog.card().pin, "987");
    EXPECT_EQ(dialog.provider().id, 2u);
    // Not kept for future calls: nothing went to the service.
    EXPECT_TRUE(service_.login().callingCards.empty());

    dialog.purchaseButton()->click();
    EXPECT_EQ(host_.pages,
              std::vector<std::string>{"/app_links/app_purchase_new_cc.aspx?ClientType=0"});
}

TEST_F(CardDialogsTest, CardKeptForFutureCallsIsUploadedBesideTheOthers) {
    host_.book.cards = {{2, "old", "1", 0}};
    host_.dialogScript = [](QDialog& d) {
        auto& dialog = static_cast<CEnterCallingCardDlg&>(d);
        dialog.providerList()->setCurrentIndex(1);
        dialog.accountField()->setText("777");
        dialog.pinField()->setText("42");
        dialog.futureCalls()->setChecked(true);
        dialog.accept();
        return dialog.result();
    };
    CallingCard card;
    Provider chosen;
    ASSERT_TRUE(CEnterCallingCardDlg::ask(host_, nullptr, card, chosen));
    EXPECT_EQ(card.accountNumber, "777");
    EXPECT_EQ(chosen.id, 1u);
    const auto stored = service_.login().callingCards;
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].accountNumber, "777");
    EXPECT_EQ(stored[0].isDefault, 1u);
    EXPECT_EQ(stored[1].accountNumber, "old");
    ASSERT_EQ(host_.book.cards.size(), 2u);
    EXPECT_EQ(host_.book.cards[0].accountNumber, "777");
}

TEST_F(CardDialogsTest, SettingsShowTheFirstThreeCardsAndSaveOnlyThose) {
    host_.book.cards = {{1, "a1", "p1", 0},
                        {9, "a2", "p2", 0},  // a provider this login does not offer
                        {2, "a3", "p3", 1},
                        {1, "a4", "p4", 0},
                        {2, "a5", "p5", 0}};
    CCallingCardSettingsDlg dialog(host_);
    EXPECT_EQ(dialog.row(0).provider->currentText(), "Telephone 1");
    EXPECT_EQ(dialog.row(0).account->text(), "a1");
    EXPECT_TRUE(dialog.row(0).account->isEnabled());
    EXPECT_EQ(dialog.row(1).provider->currentIndex(), 0);
    EXPECT_TRUE(dialog.row(1).account->text().isEmpty());
    EXPECT_FALSE(dialog.row(1).account->isEnabled());
    EXPECT_FALSE(dialog.row(1).pin->isEnabled());
    EXPECT_EQ(dialog.row(2).pin->text(), "p3");
    EXPECT_TRUE(dialog.row(2).isDefault->isChecked());
    EXPECT_FALSE(dialog.manualChoice()->isChecked());

    // Choosing a provider opens the row's fields.
    dialog.row(1).provider->setCurrentIndex(1);
    EXPECT_TRUE(dialog.row(1).account->isEnabled());
    dialog.row(1).provider->setCurrentIndex(0);

    dialog.saveButton()->click();
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const auto stored = service_.login().callingCards;
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].accountNumber, "a1");
    EXPECT_EQ(stored[1].accountNumber, "a3");
    EXPECT_EQ(stored[1].isDefault, 1u);
    EXPECT_EQ(host_.book.cards.size(), 2u);
}

TEST_F(CardDialogsTest, SettingsRefuseAPinWithoutAccountAndADefaultWithoutProvider) {
    CCallingCardSettingsDlg dialog(host_);
    EXPECT_TRUE(dialog.manualChoice()->isChecked());
    dialog.row(0).provider->setCurrentIndex(1);
    dialog.row(0).pin->setText("1234");
    dialog.saveButton()->click();
    dialog.row(0).pin->clear();
    dialog.row(2).isDefault->setChecked(true);
    dialog.saveButton()->click();
    EXPECT_EQ(host_.messages,
              (std::vector<QString>{
                  "You cannot enter a pin number with out specifying the account number.",
                  "Please select the provider for the default calling card"}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    // An account without a PIN is a card.
    dialog.row(0).account->setText("5550000");
    dialog.row(0).isDefault->setChecked(true);
    dialog.saveButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const auto stored = service_.login().callingCards;
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].accountNumber, "5550000");
    EXPECT_EQ(stored[0].pin, "");
    EXPECT_EQ(stored[0].isDefault, 1u);
}

TEST_F(CardDialogsTest, ClearAllEmptiesEveryRowAndAFailedUploadKeepsTheDialogAndTheList) {
    host_.book.cards = {{1, "a1", "p1", 1}, {2, "a2", "p2", 0}};
    CCallingCardSettingsDlg dialog(host_);
    dialog.clearAllButton()->click();
    for (size_t i = 0; i < kCardRows; ++i) {
        EXPECT_EQ(dialog.row(i).provider->currentIndex(), 0);
        EXPECT_TRUE(dialog.row(i).account->text().isEmpty());
        EXPECT_FALSE(dialog.row(i).pin->isEnabled());
        EXPECT_FALSE(dialog.row(i).isDefault->isChecked());
    }
    EXPECT_TRUE(dialog.manualChoice()->isChecked());

    host_.accountData.password = "wrong";
    dialog.saveButton()->click();
    EXPECT_EQ(host_.messages, std::vector<QString>{"Failed to update calling card info to server"});
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(host_.book.cards.size(), 2u);

    // Cancel leaves everything as it was.
    dialog.cancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}
