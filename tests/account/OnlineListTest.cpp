// The online list: replies in, the two branches and the alerts out.
#include <gtest/gtest.h>

#include <algorithm>

#include "account/OnlineList.h"
#include "app/settings/Settings.h"
#include "tests/webservice/ScopedConfigDir.h"

using namespace ostrel;
using namespace ostrel::account;

namespace {

// The branches as plain lists, in insertion order.
class ListTree : public PresenceTree {
public:
    struct Item {
        std::string name;
        Reachability look;
    };
    std::vector<std::string> Names(Branch branch) const override {
        std::vector<std::string> names;
        for (const auto& item : items(branch)) {
            names.push_back(item.name);
        }
        return names;
    }
    void Remove(Branch branch, const std::string& name) override {
        auto& list = items(branch);
        list.erase(
            std::remove_if(list.begin(), list.end(), [&](const Item& i) { return i.name == name; }),
            list.end());
    }
    void Add(Branch branch, const std::string& name, const Reachability& look) override {
        items(branch).push_back({name, look});
    }
    void Update(const std::string& name, const Reachability& look) override {
        for (auto& item : online) {
            if (item.name == name) {
                item.look = look;
            }
        }
    }
    void SetRootTexts(const std::string& on, const std::string& off) override {
        onlineRoot = on;
        offlineRoot = off;
    }
    const Item* find(Branch branch, const std::string& name) const {
        for (const auto& item : items(branch)) {
            if (item.name == name) {
                return &item;
            }
        }
        return nullptr;
    }

    std::vector<Item> online;
    std::vector<Item> offline;
    std::string onlineRoot;
    std::string offlineRoot;

private:
    std::vector<Item>& items(Branch b) { return b == Branch::Online ? online : offline; }
    const std::vector<Item>& items(Branch b) const {
        return b == Branch::Online ? online : offline;
    }
};

std::string buddy(const std::string& name, const std::string& address = "1.2.3.4", int iptype = 0) {
    return "<buddy><userid>" + name + "</userid><ipaddress>" + address +
           "</ipaddress><listening_port>1720</listening_port><version>6</version><iptype>" +
           std::to_string(iptype) + "</iptype></buddy>";
}

std::string reply(const std::string& buddies, int errcode = 0) {
    return "<?xml version=\"1.0\"?><userlist><errcode>" + std::to_string(errcode) + "</errcode>" +
           buddies + "</userlist>";
}

using Branch = PresenceTree::Branch;

class OnlineListTest : public ::testing::Test {
protected:
    PresenceAlerts refresh(const std::string& text) {
        EXPECT_TRUE(list_.ShowOnlineUsers(text));
        return list_.RefreshOnlineUsers(tree_, buddies_, "alice", first_);
    }

    webservice::test::ScopedConfigDir config_;
    OnlineList list_;
    ListTree tree_;
    BuddyNames buddies_;
    bool first_ = true;
};

}  // namespace

TEST_F(OnlineListTest, FirstRefreshCountsOnlyNewBuddiesInOnePopup) {
    buddies_.ReplaceAll({"bob", "carol", "dave", "erin", "alice"});
    const PresenceAlerts alerts = refresh(
        reply(buddy("alice") + buddy("bob") + buddy("carol") + buddy("dave") + buddy("stranger")));
    ASSERT_EQ(alerts.popups.size(), 1u);
    EXPECT_EQ(alerts.popups[0].text, "3 buddies online");
    EXPECT_EQ(alerts.popups[0].seconds, 4);
    EXPECT_TRUE(alerts.playBuddyIn);
    EXPECT_FALSE(alerts.playBuddyOut);
    EXPECT_TRUE(alerts.expandOnline && alerts.expandOffline && alerts.scrollToOnline);
    EXPECT_FALSE(first_);
    EXPECT_EQ(tree_.Names(Branch::Online), (std::vector<std::string>{"bob", "carol", "dave"}));
    EXPECT_EQ(tree_.Names(Branch::Offline), std::vector<std::string>{"erin"});
    // Raw sizes: the user's own entry and the stranger count in the first number.
    EXPECT_EQ(tree_.onlineRoot, "Online (5/5)");
    EXPECT_EQ(tree_.offlineRoot, "Offline (0/5)");
}

TEST_F(OnlineListTest, LaterArrivalGetsItsOwnPopupAndDepartureMovesToOffline) {
    buddies_.ReplaceAll({"bob", "carol", "dave"});
    refresh(reply(buddy("bob") + buddy("carol")));
    ASSERT_NE(tree_.find(Branch::Offline, "dave"), nullptr);

    PresenceAlerts alerts = refresh(reply(buddy("bob") + buddy("carol") + buddy("dave")));
    ASSERT_EQ(alerts.popups.size(), 1u);
    EXPECT_EQ(alerts.popups[0].text, "dave is online");
    EXPECT_EQ(alerts.popups[0].seconds, 6);
    EXPECT_TRUE(alerts.playBuddyIn);
    EXPECT_FALSE(alerts.expandOffline);
    EXPECT_EQ(tree_.Names(Branch::Online), (std::vector<std::string>{"bob", "carol", "dave"}));
    EXPECT_TRUE(tree_.Names(Branch::Offline).empty());

    alerts = refresh(reply(buddy("carol") + buddy("dave")));
    EXPECT_TRUE(alerts.playBuddyOut);
    EXPECT_FALSE(alerts.playBuddyIn);
    EXPECT_TRUE(alerts.popups.empty());
    // Those who stay keep their place; bob is offline again in the same refresh.
    EXPECT_EQ(tree_.Names(Branch::Online), (std::vector<std::string>{"carol", "dave"}));
    const auto* bob = tree_.find(Branch::Offline, "bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->look.icon, PresenceIcon::Offline);
    EXPECT_EQ(bob->look.tooltip, "bob is offline.");
    EXPECT_EQ(tree_.onlineRoot, "Online (2/3)");
    EXPECT_EQ(tree_.offlineRoot, "Offline (1/3)");
}

TEST_F(OnlineListTest, IconsAndTooltipsFollowReachability) {
    buddies_.ReplaceAll({"bob", "carol", "dave", "erin", "frank"});
    refresh(reply(buddy("bob", "LAN", 0) + buddy("carol", "5.6.7.8", 0) + buddy("dave", "", 1) +
                  buddy("erin", "192.168.0.9", 3) + buddy("frank", "9.9.9.9", 7)));
    const auto look = [&](const char* name) { return tree_.find(Branch::Online, name)->look; };
    EXPECT_EQ(look("bob").icon, PresenceIcon::NotCallable);
    EXPECT_EQ(look("bob").tooltip, "bob is online but cannot accept calls.");
    EXPECT_EQ(look("carol").icon, PresenceIcon::ReadyForCalls);
    EXPECT_EQ(look("carol").tooltip, "carol is online and ready to accept calls.");
    EXPECT_EQ(look("dave").icon, PresenceIcon::ReadyForCalls);
    EXPECT_EQ(look("erin").icon, PresenceIcon::InternalNetworkOnly);
    EXPECT_EQ(look("erin").tooltip,
              "erin is online and can accept calls only from his internal network.");
    // An unknown mode makes no item at all.
    EXPECT_EQ(tree_.find(Branch::Online, "frank"), nullptr);

    // An update changes the icon of an item that stays.
    refresh(reply(buddy("bob", "4.4.4.4", 2) + buddy("carol", "5.6.7.8", 0)));
    EXPECT_EQ(look("bob").icon, PresenceIcon::ReadyForCalls);
}

TEST_F(OnlineListTest, NamesMatchWithoutRegardToCase) {
    buddies_.ReplaceAll({"Bob"});
    refresh(reply(buddy("BOB")));
    EXPECT_EQ(tree_.Names(Branch::Online), std::vector<std::string>{"BOB"});
    EXPECT_TRUE(tree_.Names(Branch::Offline).empty());
    EXPECT_EQ(tree_.onlineRoot, "Online (1/1)");
    webservice::BuddyPresence found;
    ASSERT_TRUE(list_.FindOnlineBuddy("bob", found));
    EXPECT_EQ(found.ipaddress, "1.2.3.4");
    EXPECT_FALSE(list_.FindOnlineBuddy("carol", found));
}

TEST_F(OnlineListTest, PopupSettingOffKeepsTheSounds) {
    settings::write(settings::value::PopupBuddyOnline, 0);
    buddies_.ReplaceAll({"bob", "carol"});
    PresenceAlerts alerts = refresh(reply(buddy("bob")));
    EXPECT_TRUE(alerts.popups.empty());
    EXPECT_TRUE(alerts.playBuddyIn);
    alerts = refresh(reply(buddy("bob") + buddy("carol")));
    EXPECT_TRUE(alerts.popups.empty());
    EXPECT_TRUE(alerts.playBuddyIn);
}

TEST_F(OnlineListTest, EmptyListAndEmptyReplyCountZero) {
    const PresenceAlerts alerts = refresh(reply(""));
    EXPECT_EQ(tree_.onlineRoot, "Online (0/0)");
    EXPECT_EQ(tree_.offlineRoot, "Offline (0/0)");
    EXPECT_FALSE(alerts.playBuddyIn || alerts.playBuddyOut);
    EXPECT_TRUE(alerts.popups.empty());
}

TEST_F(OnlineListTest, BadReplyEmptiesTheListAndTheNextRefreshShowsEveryoneOffline) {
    buddies_.ReplaceAll({"bob"});
    refresh(reply(buddy("bob")));
    EXPECT_FALSE(list_.ShowOnlineUsers(reply(buddy("bob"), 5)));  // non-zero errcode
    webservice::BuddyPresence found;
    EXPECT_FALSE(list_.FindOnlineBuddy("bob", found));
    EXPECT_FALSE(list_.ShowOnlineUsers("<?xml version=\"1.0\"?><broken>"));
    const PresenceAlerts alerts = list_.RefreshOnlineUsers(tree_, buddies_, "alice", first_);
    EXPECT_TRUE(alerts.playBuddyOut);
    EXPECT_EQ(tree_.Names(Branch::Offline), std::vector<std::string>{"bob"});
}

TEST_F(OnlineListTest, TalkGoesWhereThePresenceEntrySays) {
    ASSERT_TRUE(list_.ShowOnlineUsers(
        reply(buddy("bob", "LAN") + buddy("carol", "5.6.7.8", 2) + buddy("dave", "9.9.9.9") +
              "<buddy><userid>erin</userid><ipaddress>1.1.1.1</ipaddress>"
              "<listening_port>70000</listening_port></buddy>")));
    BuddyCallTarget target = FindBuddyToCall(list_, "nobody");
    EXPECT_FALSE(target.callable);
    EXPECT_EQ(target.refusal, "User is not online");
    target = FindBuddyToCall(list_, "Bob");
    EXPECT_FALSE(target.callable);
    EXPECT_EQ(target.refusal,
              "Cannot connect to Bob's computer since it is behind a firewall. Computers behind "
              "a firewall cannot be reached. But they can initiate a connection to you.");
    target = FindBuddyToCall(list_, "carol");
    ASSERT_TRUE(target.callable);
    EXPECT_EQ(target.address, "5.6.7.8");
    EXPECT_EQ(target.port, 1720);
    EXPECT_EQ(target.version, 6);
    EXPECT_TRUE(target.notDirect);
    EXPECT_FALSE(FindBuddyToCall(list_, "dave").notDirect);
    EXPECT_FALSE(FindBuddyToCall(list_, "erin").callable);
}
