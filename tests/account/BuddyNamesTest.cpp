// The buddy list: the dialog's edit rules and the upload to the reference service.
#include <gtest/gtest.h>

#include "account/BuddyListUpload.h"
#include "account/BuddyNames.h"
#include "account/LoginFlow.h"
#include "tests/account/ServiceFixture.h"

using namespace ostrel;
using namespace ostrel::account;

TEST(BuddyEdit, NewEntriesAreTrimmedLowerCasedAndUnique) {
    BuddyNames names;
    BuddyEdit edit = ApplyBuddyEdit(names, kNewBuddyPlaceholder, "  Alice ");
    EXPECT_EQ(edit.result, BuddyEditResult::Accepted);
    EXPECT_EQ(edit.name, "alice");
    EXPECT_EQ(names.Snapshot(), std::vector<std::string>{"alice"});

    edit = ApplyBuddyEdit(names, kNewBuddyPlaceholder, "ALICE");
    EXPECT_EQ(edit.result, BuddyEditResult::AlreadyPresent);
    EXPECT_EQ(BuddyEditMessage(edit.result), "This buddy is already present in the list");
    EXPECT_EQ(names.Size(), 1u);

    edit = ApplyBuddyEdit(names, kNewBuddyPlaceholder, "   ");
    EXPECT_EQ(edit.result, BuddyEditResult::Empty);
    EXPECT_EQ(BuddyEditMessage(edit.result), "Buddy name cannot be empty!");

    // The placeholder left as it was drops the new entry without a message.
    edit = ApplyBuddyEdit(names, kNewBuddyPlaceholder, "**New Buddy** ");
    EXPECT_EQ(edit.result, BuddyEditResult::DropNewEntry);
    EXPECT_TRUE(BuddyEditMessage(edit.result).empty());
    EXPECT_EQ(names.Size(), 1u);
}

TEST(BuddyEdit, ForbiddenCharactersAreRefused) {
    BuddyNames names;
    for (const char* bad : {"bob smith", "a*b", "a&b", "o'neil", "a~b", "a,b",  "a\"b", "a<b",
                            "a>b",       "a?b", "a%b", "a!b",    "a@b", "a:b",  "a;b",  "a`b",
                            "a(b",       "a)b", "a+b", "a=b",    "a|b", "a\\b", "a/b"}) {
        const BuddyEdit edit = ApplyBuddyEdit(names, kNewBuddyPlaceholder, bad);
        EXPECT_EQ(edit.result, BuddyEditResult::InvalidCharacters) << bad;
    }
    EXPECT_EQ(BuddyEditMessage(BuddyEditResult::InvalidCharacters),
              "This buddy name contains invalid characters or spaces");
    for (const char* good : {"bob_smith", "bob-smith", "bob.smith", "b#b$[]{}^"}) {
        EXPECT_EQ(ApplyBuddyEdit(names, kNewBuddyPlaceholder, good).result,
                  BuddyEditResult::Accepted)
            << good;
    }
    EXPECT_EQ(names.Size(), 4u);
}

TEST(BuddyEdit, RenamesReplaceTheMatchingEntryInPlace) {
    BuddyNames names;
    names.ReplaceAll({"Dave", "carol", "erin"});
    EXPECT_EQ(ApplyBuddyEdit(names, "carol", "carol").result, BuddyEditResult::Unchanged);
    EXPECT_EQ(ApplyBuddyEdit(names, "Dave", "David").result, BuddyEditResult::Accepted);
    EXPECT_EQ(names.Snapshot(), (std::vector<std::string>{"david", "carol", "erin"}));
    // Renaming onto another buddy is refused and changes nothing.
    EXPECT_EQ(ApplyBuddyEdit(names, "erin", "CAROL").result, BuddyEditResult::AlreadyPresent);
    EXPECT_EQ(names.Snapshot(), (std::vector<std::string>{"david", "carol", "erin"}));
}

TEST(BuddyNamesList, ServiceNamesAreCutAndKeptWithDuplicates) {
    BuddyNames names;
    names.ReplaceAll({std::string(300, 'x'), "bob", "bob"});
    const auto list = names.Snapshot();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].size(), 255u);
    EXPECT_TRUE(names.EraseFirst("BOB"));
    EXPECT_EQ(names.Size(), 2u);
    EXPECT_TRUE(names.Contains("Bob"));
    EXPECT_FALSE(names.EraseFirst("nobody"));
}

namespace {

class BuddyUploadTest : public account::test::ServiceFixture {};

class SilentPrompts : public LoginPrompts {
    void ShowAutoCloseBox(const std::string&, const std::string&, int, Icon) override {}
    bool AskYesNo(const std::string&, Icon) override { return false; }
    void OpenServicePage(const std::string&) override {}
};

}  // namespace

TEST_F(BuddyUploadTest, EditedListReachesTheServiceAndComesBackAtLogin) {
    setBuddies("alice", {"Bob"});
    AccountSession session("guid-a");
    SilentPrompts prompts;
    LoginEnvironment environment;
    environment.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
    environment.loginPauseMs = 1;
    LoginFlow flow(session, prompts, environment);
    ASSERT_EQ(flow.StartLogin(true, "alice", "alice-pw"), LoginFlow::Start::Started);
    while (!flow.WaitWorker(10)) {
    }
    ASSERT_EQ(flow.FinishLogin(), kLoggedIn);
    flow.EndLogin();

    ASSERT_EQ(ApplyBuddyEdit(session.Buddies(), "bob", "carol").result, BuddyEditResult::Accepted);
    ASSERT_EQ(ApplyBuddyEdit(session.Buddies(), kNewBuddyPlaceholder, "dave").result,
              BuddyEditResult::Accepted);
    BuddyListUpload upload(session);
    ASSERT_TRUE(upload.Start());
    while (!upload.Wait(1)) {
    }
    EXPECT_TRUE(upload.Answered());
    EXPECT_EQ(storedBuddies("alice"), (std::vector<std::string>{"carol", "dave"}));

    // Logged off, nothing is sent.
    session.LeaveLoggedIn();
    session.Buddies().Append("erin");
    BuddyListUpload none(session);
    ASSERT_TRUE(none.Start());
    none.Wait(sync::kInfinite);
    EXPECT_FALSE(none.Answered());
    EXPECT_EQ(storedBuddies("alice").size(), 2u);
}
