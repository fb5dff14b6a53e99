// Account pages: the "Buddies" page with the "Online" and "Offline" branches, their counts,
// icons and tooltips, the presence alerts, and the "+/-", "Invite" and "Search" buttons.
// GUI thread only; the periodic service thread fills the shared OnlineList and asks the
// window (command 3) to call Refresh here.
#pragma once

#include <QIcon>
#include <QWidget>

#include <array>

#include "account/AccountSession.h"
#include "account/OnlineList.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostrel::account {

class AccountHost;

class COnlinePage : public QWidget, private PresenceTree {
    Q_OBJECT
public:
    COnlinePage(AccountSession& session, OnlineList& online, AccountHost& host,
                QWidget* parent = nullptr);

    // `RefreshOnlineUsers`: redraws both branches and raises the alerts.
    void Refresh();
    // The "Buddy List" dialog ("+/-" and the menu entry); uploads and refreshes after changes.
    void OpenBuddyList();
    void ExpandOnline();

    // The name of the selected buddy under "Online", or empty.
    std::string SelectedOnlineBuddy() const;

    QTreeWidget* tree() const { return tree_; }
    QTreeWidgetItem* onlineRoot() const { return onlineRoot_; }
    QTreeWidgetItem* offlineRoot() const { return offlineRoot_; }
    // The icon drawn for a presence look (tests compare item icons with these).
    const QIcon& Icon(PresenceIcon icon) const { return icons_[static_cast<size_t>(icon)]; }

    // Sounds go through this; tests replace it to hear what would play.
    std::function<void(const char* file)> playSound;

private:
    std::vector<std::string> Names(Branch branch) const override;
    void Remove(Branch branch, const std::string& name) override;
    void Add(Branch branch, const std::string& name, const Reachability& look) override;
    void Update(const std::string& onlineName, const Reachability& look) override;
    void SetRootTexts(const std::string& online, const std::string& offline) override;
    QTreeWidgetItem* root(Branch branch) const;
    QTreeWidgetItem* find(Branch branch, const std::string& name) const;

    AccountSession& session_;
    OnlineList& online_;
    AccountHost& host_;
    QTreeWidget* tree_;
    QTreeWidgetItem* onlineRoot_;
    QTreeWidgetItem* offlineRoot_;
    std::array<QIcon, 6> icons_;
};

}  // namespace ostrel::account
