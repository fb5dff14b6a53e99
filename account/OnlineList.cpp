#include "account/OnlineList.h"

#include <algorithm>

#include "app/settings/Settings.h"
#include "platform/Platform.h"
#include "sync/WaitResult.h"

namespace ostrel::account {

namespace {

class Locked {
public:
    explicit Locked(sync::CSem& sem) : sem_(sem) { sem_.WaitOnSemaphore(sync::kInfinite); }
    ~Locked() { sem_.SignalSemaphore(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    sync::CSem& sem_;
};

bool containsName(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return SameName(n, name); });
}

const std::string* findName(const std::vector<std::string>& names, std::string_view name) {
    for (const auto& n : names) {
        if (SameName(n, name)) {
            return &n;
        }
    }
    return nullptr;
}

std::string counted(const char* root, long long first, size_t second) {
    return std::string(root) + " (" + std::to_string(first) + "/" + std::to_string(second) + ")";
}

}  // namespace

bool ReachabilityOf(const webservice::BuddyPresence& p, Reachability& out) {
    switch (p.iptype) {
        case 0:
            if (p.ipaddress == "LAN") {
                out = {PresenceIcon::NotCallable, p.userid + " is online but cannot accept calls."};
            } else {
                out = {PresenceIcon::ReadyForCalls,
                       p.userid + " is online and ready to accept calls."};
            }
            return true;
        case 1:
        case 2:
            out = {PresenceIcon::ReadyForCalls, p.userid + " is online and ready to accept calls."};
            return true;
        case 3:
            out = {PresenceIcon::InternalNetworkOnly,
                   p.userid + " is online and can accept calls only from his internal network."};
            return true;
        default:
            return false;
    }
}

std::string OfflineTooltip(const std::string& name) {
    return name + " is offline.";
}

std::string OnlineRootText(size_t online, size_t buddies) {
    return counted("Online", static_cast<long long>(online), buddies);
}

std::string OfflineRootText(size_t online, size_t buddies) {
    return counted("Offline", static_cast<long long>(buddies) - static_cast<long long>(online),
                   buddies);
}

std::string BehindFirewallMessage(const std::string& name) {
    return "Cannot connect to " + name +
           "'s computer since it is behind a firewall. Computers behind a firewall cannot be "
           "reached. But they can initiate a connection to you.";
}

bool OnlineList::ShowOnlineUsers(std::string_view replyText) {
    Locked locked(lock_);
    platform::trace("ShowOnlineUsers called");
    online_.clear();
    webservice::OnlineUsersReply reply;
    if (!webservice::OnlineUsersReplyGood(replyText, reply)) {
        platform::trace("Failed to process the response for getuserlist");
        return false;
    }
    online_ = std::move(reply.buddies);
    return true;
}

bool OnlineList::inList(std::string_view name) const {
    return std::any_of(online_.begin(), online_.end(), [&](const webservice::BuddyPresence& p) {
        return SameName(p.userid, name);
    });
}

PresenceAlerts OnlineList::RefreshOnlineUsers(PresenceTree& tree, const BuddyNames& buddies,
                                              const std::string& ownName, bool& firstRefresh) {
    using Branch = PresenceTree::Branch;
    Locked locked(lock_);
    platform::trace("Refresh Online Users");
    const std::vector<std::string> names = buddies.Snapshot();
    PresenceAlerts alerts;

    // Stale online items: no longer in the reply, or no longer a buddy.
    std::vector<std::string> stale;
    for (const auto& item : tree.Names(Branch::Online)) {
        if (!inList(item) || !containsName(names, item)) {
            stale.push_back(item);
        }
    }
    for (const auto& item : stale) {
        tree.Remove(Branch::Online, item);
    }
    alerts.playBuddyOut = !stale.empty();

    std::vector<std::string> newlyOnline;
    for (const auto& entry : online_) {
        if (SameName(entry.userid, ownName) || !containsName(names, entry.userid)) {
            continue;
        }
        Reachability look;
        const auto items = tree.Names(Branch::Online);
        const std::string* item = findName(items, entry.userid);
        if (!ReachabilityOf(entry, look)) {
            continue;  // a mode we cannot show: no item, and an existing one keeps its icon
        }
        if (item == nullptr) {
            newlyOnline.push_back(entry.userid);
            tree.Add(Branch::Online, entry.userid, look);
        } else {
            tree.Update(*item, look);
        }
    }

    if (!newlyOnline.empty()) {
        const bool popups = settings::read(settings::value::PopupBuddyOnline) != 0;
        alerts.playBuddyIn = true;
        alerts.expandOnline = true;
        if (popups && !firstRefresh) {
            for (const auto& name : newlyOnline) {
                alerts.popups.push_back({name + " is online", 6});
            }
        } else if (popups) {
            alerts.popups.push_back({std::to_string(newlyOnline.size()) + " buddies online", 4});
        }
    }

    std::vector<std::string> tidy;
    for (const auto& item : tree.Names(Branch::Offline)) {
        if (inList(item) || !containsName(names, item)) {
            tidy.push_back(item);
        }
    }
    for (const auto& item : tidy) {
        tree.Remove(Branch::Offline, item);
    }

    for (const auto& name : names) {
        if (SameName(name, ownName)) {
            continue;
        }
        const auto online = tree.Names(Branch::Online);
        const auto offline = tree.Names(Branch::Offline);
        if (!containsName(online, name) && !containsName(offline, name)) {
            tree.Add(Branch::Offline, name, {PresenceIcon::Offline, OfflineTooltip(name)});
        }
    }
    alerts.expandOffline = firstRefresh;

    tree.SetRootTexts(OnlineRootText(online_.size(), names.size()),
                      OfflineRootText(online_.size(), names.size()));
    if (firstRefresh) {
        alerts.scrollToOnline = true;
        firstRefresh = false;
    }
    return alerts;
}

bool OnlineList::FindOnlineBuddy(std::string_view name, webservice::BuddyPresence& out) {
    Locked locked(lock_);
    for (const auto& entry : online_) {
        if (SameName(entry.userid, name)) {
            out = entry;
            return true;
        }
    }
    return false;
}

void OnlineList::Reset(PresenceTree& tree, size_t buddyCount) {
    Locked locked(lock_);
    online_.clear();
    tree.SetRootTexts(OnlineRootText(0, buddyCount), OfflineRootText(0, buddyCount));
}

std::vector<webservice::BuddyPresence> OnlineList::Entries() {
    Locked locked(lock_);
    return online_;
}

}  // namespace ostrel::account

namespace ostrel::account {

BuddyCallTarget FindBuddyToCall(OnlineList& online, const std::string& name) {
    BuddyCallTarget target;
    webservice::BuddyPresence presence;
    if (!online.FindOnlineBuddy(name, presence)) {
        target.refusal = kUserNotOnline;
        return target;
    }
    if (presence.ipaddress == "LAN") {
        target.refusal = BehindFirewallMessage(name);
        return target;
    }
    // The port comes from the service's reply; one that is no UDP port cannot be called.
    if (presence.listening_port <= 0 || presence.listening_port > 65535 ||
        presence.ipaddress.empty()) {
        target.refusal = "Cannot connect to " + name + ": the service gave no valid address.";
        return target;
    }
    target.callable = true;
    target.address = presence.ipaddress;
    target.port = static_cast<uint16_t>(presence.listening_port);
    target.version = presence.version;
    target.notDirect = presence.iptype != 0;
    return target;
}

}  // namespace ostrel::account
