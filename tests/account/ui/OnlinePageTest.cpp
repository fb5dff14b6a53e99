// The online page and the "Buddy List" dialog on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include "account/LoginFlow.h"
#include "account/ui/CBuddyListDlg.h"
#include "account/ui/COnlinePage.h"
#include "app/settings/Settings.h"
#include "desktop/CNotifierPopup.h"
#include "tests/account/ServiceFixture.h"
#include "tests/account/ui/FakeAccountHost.h"
#include "tests/account/ui/ModalDriver.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel;
using namespace ostrel::account;

namespace {

std::string buddy(const std::string& name, const std::string& address = "1.2.3.4", int iptype = 0) {
    return "<buddy><userid>" + name + "</userid><ipaddress>" + address + "</ipaddress><iptype>" +
           std::to_string(iptype) + "</iptype></buddy>";
}

std::string reply(const std::string& buddies) {
    return "<?xml version=\"1.0\"?><list><errcode>0</errcode>" + buddies + "</list>";
}

QStringList children(QTreeWidgetItem* root) {
    QStringList names;
    for (int i = 0; i < root->childCount(); ++i) {
        names << root->child(i)->text(0);
    }
    return names;
}

class OnlinePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        desktop::CNotifierPopup::setTickIntervalForTesting(1);
        page_ = std::make_unique<COnlinePage>(session_, online_, host_);
        page_->playSound = [this](const char* file) { sounds_.push_back(file); };
        session_.EnterLoggedIn({"alice", "pw"});
    }
    void TearDown() override {
        page_.reset();
        ostrel::test::processEventsUntil(
            [] { return desktop::CNotifierPopup::onScreenCount() == 0; });
        desktop::CNotifierPopup::setTickIntervalForTesting(desktop::CNotifierPopup::kTickMs);
    }

    webservice::test::ScopedConfigDir config_;
    account::test::FakeAccountHost host_;
    AccountSession session_{"guid"};
    OnlineList online_;
    std::unique_ptr<COnlinePage> page_;
    std::vector<std::string> sounds_;
};

}  // namespace

TEST_F(OnlinePageTest, StartsWithTwoEmptyCountedRoots) {
    EXPECT_EQ(page_->onlineRoot()->text(0), "Online (0/0)");
    EXPECT_EQ(page_->offlineRoot()->text(0), "Offline (0/0)");
    EXPECT_TRUE(page_->onlineRoot()->isExpanded());
    EXPECT_TRUE(page_->onlineRoot()->font(0).bold());
    EXPECT_EQ(page_->offlineRoot()->foreground(0).color(), QColor(160, 160, 160));
}

TEST_F(OnlinePageTest, RefreshDrawsBuddiesWithIconsTooltipsAndAlerts) {
    session_.Buddies().ReplaceAll({"bob", "carol", "dave"});
    session_.firstRefresh.store(true);
    ASSERT_TRUE(online_.ShowOnlineUsers(reply(buddy("bob", "LAN") + buddy("Carol", "5.5.5.5", 3))));
    page_->Refresh();
    EXPECT_FALSE(session_.firstRefresh.load());
    EXPECT_EQ(children(page_->onlineRoot()), (QStringList{"bob", "Carol"}));
    EXPECT_EQ(children(page_->offlineRoot()), QStringList{"dave"});
    QTreeWidgetItem* bob = page_->onlineRoot()->child(0);
    EXPECT_EQ(bob->toolTip(0), "bob is online but cannot accept calls.");
    EXPECT_EQ(bob->icon(0).cacheKey(), page_->Icon(PresenceIcon::NotCallable).cacheKey());
    EXPECT_EQ(page_->offlineRoot()->child(0)->toolTip(0), "dave is offline.");
    EXPECT_EQ(page_->offlineRoot()->child(0)->foreground(0).color(), QColor(160, 160, 160));
    EXPECT_EQ(page_->onlineRoot()->text(0), "Online (2/3)");
    EXPECT_EQ(page_->offlineRoot()->text(0), "Offline (1/3)");
    EXPECT_EQ(sounds_, std::vector<std::string>{"buddyin.wav"});
    EXPECT_EQ(desktop::CNotifierPopup::onScreenCount(), 1);

    sounds_.clear();
    ASSERT_TRUE(online_.ShowOnlineUsers(reply(buddy("Carol", "5.5.5.5", 3))));
    page_->Refresh();
    EXPECT_EQ(children(page_->onlineRoot()), QStringList{"Carol"});
    EXPECT_EQ(children(page_->offlineRoot()), (QStringList{"dave", "bob"}));  // appended
    EXPECT_EQ(sounds_, std::vector<std::string>{"buddyout.wav"});

    // Double click on an online buddy calls it.
    emit page_->tree()->itemDoubleClicked(page_->onlineRoot()->child(0), 0);
    EXPECT_EQ(host_.calls, std::vector<std::string>{"Carol"});
    page_->tree()->setCurrentItem(page_->onlineRoot()->child(0));
    EXPECT_EQ(page_->SelectedOnlineBuddy(), "Carol");
    page_->tree()->setCurrentItem(page_->offlineRoot()->child(0));
    EXPECT_EQ(page_->SelectedOnlineBuddy(), "");
}

TEST(BuddyListDialog, EditsFollowTheRulesAndCancelKeepsThemLocal) {
    ostrel::test::qtApp();
    webservice::test::ScopedConfigDir config;
    AccountSession session("g");
    session.Buddies().ReplaceAll({"Dave", "carol"});
    CBuddyListDlg dialog(session);
    EXPECT_EQ(children(dialog.root()), (QStringList{"Dave", "carol"}));
    EXPECT_FALSE(dialog.root()->flags() & Qt::ItemIsEditable);

    ostrel::test::ModalDriver modals;
    dialog.AddBuddy();
    QTreeWidgetItem* added = dialog.root()->child(2);
    EXPECT_EQ(added->text(0), "**new buddy**");
    dialog.EndEdit(added, " Alice ");
    EXPECT_EQ(added->text(0), "alice");
    EXPECT_TRUE(dialog.Changed());

    dialog.AddBuddy();
    QTreeWidgetItem* second = dialog.root()->child(3);
    dialog.EndEdit(second, "ALICE");
    dialog.EndEdit(second, "bob smith");
    dialog.EndEdit(second, "");
    EXPECT_EQ(modals.texts(),
              (std::vector<QString>{"This buddy is already present in the list",
                                    "This buddy name contains invalid characters or spaces",
                                    "Buddy name cannot be empty!"}));
    EXPECT_EQ(second->text(0), "**new buddy**");
    dialog.EndEdit(second, "**new buddy**");  // left unchanged: the entry goes
    EXPECT_EQ(dialog.root()->childCount(), 3);

    dialog.EndEdit(dialog.root()->child(0), "david");
    EXPECT_EQ(session.Buddies().Snapshot(), (std::vector<std::string>{"david", "carol", "alice"}));

    modals.clear();
    modals.plan(QMessageBox::No);
    dialog.tree()->setCurrentItem(dialog.root()->child(1));
    dialog.DeleteSelected();
    ASSERT_EQ(modals.texts().size(), 1u);
    EXPECT_EQ(modals.texts()[0],
              "Are you sure that you want to delete <carol> from the list of your buddies?");
    EXPECT_EQ(session.Buddies().Size(), 3u);
    dialog.DeleteSelected();  // answered Yes
    EXPECT_EQ(session.Buddies().Snapshot(), (std::vector<std::string>{"david", "alice"}));

    // Logged off, OK is ignored; the edits stay in the list.
    dialog.Confirm();
    EXPECT_FALSE(dialog.Uploaded());
    EXPECT_EQ(dialog.result(), 0);
}

namespace {

// A shown dialog with an empty list, its editor open on a new entry.
class BuddyListEditor : public ::testing::Test {
protected:
    BuddyListEditor() {
        dialog.show();
        dialog.AddBuddy();
    }

    // Types into the open editor and presses Return.
    void type(const QString& text) {
        auto* editor = dialog.tree()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    ostrel::test::QtAppFirst app;
    webservice::test::ScopedConfigDir config;
    AccountSession session{"g"};
    CBuddyListDlg dialog{session};
    ostrel::test::ModalDriver modals;
};

}  // namespace

TEST_F(BuddyListEditor, TypedNamesGoThroughTheEditor) {
    type("Bob Smith");
    // Refused: the message, then the editor opens again on the same entry.
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] { return !modals.seen().empty(); }));
    EXPECT_EQ(modals.texts()[0], "This buddy name contains invalid characters or spaces");
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] {
        auto* again = dialog.tree()->findChild<QLineEdit*>();
        return again != nullptr && again->isVisible();
    }));
    type("Bob_Smith");
    ASSERT_TRUE(ostrel::test::processEventsUntil(
        [&] { return dialog.root()->child(0)->text(0) == "bob_smith"; }));
    EXPECT_EQ(session.Buddies().Snapshot(), std::vector<std::string>{"bob_smith"});
    EXPECT_TRUE(dialog.Changed());
}

TEST_F(BuddyListEditor, ANameTypedForAnEntryThatIsGoneIsDropped) {
    type("bob");  // the typed name is handed over later
    dialog.EndEdit(dialog.root()->child(0), "**new buddy**");  // meanwhile the entry goes
    ASSERT_EQ(dialog.root()->childCount(), 0);
    QApplication::processEvents();
    EXPECT_EQ(dialog.root()->childCount(), 0);
    EXPECT_TRUE(session.Buddies().Snapshot().empty());
    EXPECT_TRUE(modals.seen().empty());
}

namespace {

class BuddyListUploadPage : public account::test::ServiceFixture {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        account::test::ServiceFixture::SetUp();
        setBuddies("alice", {"bob"});
        LoginEnvironment environment;
        environment.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
        environment.loginPauseMs = 1;
        LoginFlow flow(session_, prompts_, environment);
        ASSERT_EQ(flow.StartLogin(true, "alice", "alice-pw"), LoginFlow::Start::Started);
        flow.WaitWorker(sync::kInfinite);
        ASSERT_EQ(flow.FinishLogin(), kLoggedIn);
        flow.EndLogin();
    }

    struct NoPrompts : LoginPrompts {
        void ShowAutoCloseBox(const std::string&, const std::string&, int, Icon) override {}
        bool AskYesNo(const std::string&, Icon) override { return false; }
        void OpenServicePage(const std::string&) override {}
    } prompts_;
    AccountSession session_{"guid-upload"};
};

}  // namespace

TEST_F(BuddyListUploadPage, OkUploadsOnlyAfterChangesAndRefreshesThePage) {
    account::test::FakeAccountHost host;
    OnlineList online;
    {
        CBuddyListDlg unchanged(session_);
        unchanged.Confirm();
        EXPECT_FALSE(unchanged.Uploaded());
        EXPECT_EQ(unchanged.result(), QDialog::Accepted);
    }
    CBuddyListDlg dialog(session_);
    dialog.AddBuddy();
    dialog.EndEdit(dialog.root()->child(1), "carol");
    dialog.Confirm();
    EXPECT_TRUE(dialog.Uploaded());
    EXPECT_EQ(storedBuddies("alice"), (std::vector<std::string>{"bob", "carol"}));
}
