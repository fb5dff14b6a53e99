// Account and presence: the last good online list with each buddy's network details, the
// redraw of the "Online" and "Offline" branches and the alerts it raises. ShowOnlineUsers runs
// on the periodic service thread, RefreshOnlineUsers on the window thread, FindOnlineBuddy on
// whichever thread places a call; all of them hold the list's lock for their whole work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "account/BuddyNames.h"
#include "sync/CSem.h"
#include "webservice/OnlineUsersReply.h"

namespace ostrel::account {

// The six icons of the tree, in image-list order.
enum class PresenceIcon {
    OnlineRoot,
    OfflineRoot,
    Offline,
    ReadyForCalls,
    NotCallable,
    InternalNetworkOnly,
};

struct Reachability {
    PresenceIcon icon = PresenceIcon::ReadyForCalls;
    std::string tooltip;  // the buddy's name, then the text of the icon
};

// How an online buddy can be called; false for a network mode that makes no item.
bool ReachabilityOf(const webservice::BuddyPresence& presence, Reachability& out);
std::string OfflineTooltip(const std::string& name);

// The two branches as the refresh sees them. The page implements it over its tree control;
// items are added, updated and removed by name, so a buddy that stays keeps its place.
class PresenceTree {
public:
    enum class Branch { Online, Offline };
    virtual ~PresenceTree() = default;
    virtual std::vector<std::string> Names(Branch branch) const = 0;
    virtual void Remove(Branch branch, const std::string& name) = 0;
    // Appends at the end of the branch: black under "Online", grey under "Offline".
    virtual void Add(Branch branch, const std::string& name, const Reachability& look) = 0;
    virtual void Update(const std::string& onlineName, const Reachability& look) = 0;
    virtual void SetRootTexts(const std::string& online, const std::string& offline) = 0;
};

struct PresencePopup {
    std::string text;
    int seconds = 0;
};

// What a refresh asks of the page once the tree is drawn.
struct PresenceAlerts {
    bool playBuddyOut = false;
    bool playBuddyIn = false;
    std::vector<PresencePopup> popups;
    bool expandOnline = false;
    bool expandOffline = false;
    bool scrollToOnline = false;
};

class OnlineList {
public:
    // Empties the list, reads the reply and keeps its entries when it is good. True when the
    // window should be asked to redraw (its command 3).
    bool ShowOnlineUsers(std::string_view replyText);

    // Redraws both branches of `tree` for `buddies`, skipping the user's own entry. With
    // `firstRefresh` the alerts are those of the first refresh after a login, and the flag
    // is cleared.
    PresenceAlerts RefreshOnlineUsers(PresenceTree& tree, const BuddyNames& buddies,
                                      const std::string& ownName, bool& firstRefresh);

    // The first entry whose userid equals `name` in any case.
    bool FindOnlineBuddy(std::string_view name, webservice::BuddyPresence& out);

    // Page start-up: an empty list and the counts drawn.
    void Reset(PresenceTree& tree, size_t buddyCount);

    std::vector<webservice::BuddyPresence> Entries();

private:
    bool inList(std::string_view name) const;

    // Guards online_ and the tree while a refresh draws it; taken without time-out.
    sync::CSem lock_;
    std::vector<webservice::BuddyPresence> online_;
};

// "Online (%d/%d)" and "Offline (%d/%d)" for the raw sizes.
std::string OnlineRootText(size_t online, size_t buddies);
std::string OfflineRootText(size_t online, size_t buddies);

inline constexpr const char* kUserNotOnline = "User is not online";
std::string BehindFirewallMessage(const std::string& name);

// Where Talk on a buddy of the online list goes, from its presence entry.
struct BuddyCallTarget {
    bool callable = false;
    std::string refusal;  // the message for the user when it is not callable
    std::string address;
    uint16_t port = 0;
    int32_t version = 0;
    bool notDirect = false;  // the engine's flag: the buddy's network mode is not 0
};
BuddyCallTarget FindBuddyToCall(OnlineList& online, const std::string& name);

}  // namespace ostrel::account
