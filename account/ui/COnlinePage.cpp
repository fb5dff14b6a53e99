#include "account/ui/COnlinePage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "account/ui/AccountHost.h"
#include "account/ui/CBuddyListDlg.h"
#include "audio/AlertPlayer.h"
#include "desktop/CNotifierPopup.h"

namespace ostrel::account {

namespace {

QString text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string plain(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

const QColor kOfflineGrey(160, 160, 160);

// Our own 16x16 artwork: a folder-like tab for the roots, a dot per buddy state.
QIcon drawIcon(PresenceIcon which) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    switch (which) {
        case PresenceIcon::OnlineRoot:
        case PresenceIcon::OfflineRoot:
            p.setBrush(which == PresenceIcon::OnlineRoot ? QColor(60, 160, 60) : kOfflineGrey);
            p.drawRoundedRect(1, 4, 14, 10, 2, 2);
            p.drawRect(1, 2, 6, 3);
            break;
        case PresenceIcon::Offline:
            p.setBrush(kOfflineGrey);
            p.drawEllipse(3, 3, 10, 10);
            break;
        case PresenceIcon::ReadyForCalls:
            p.setBrush(QColor(0, 180, 0));
            p.drawEllipse(3, 3, 10, 10);
            break;
        case PresenceIcon::NotCallable:
            p.setBrush(QColor(220, 40, 40));
            p.drawEllipse(3, 3, 10, 10);
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(5, 8, 11, 8);
            break;
        case PresenceIcon::InternalNetworkOnly:
            p.setBrush(QColor(240, 170, 0));
            p.drawEllipse(3, 3, 10, 10);
            p.setPen(QPen(Qt::black, 1));
            p.drawRect(6, 6, 4, 4);
            break;
    }
    return QIcon(pixmap);
}

}  // namespace

COnlinePage::COnlinePage(AccountSession& session, OnlineList& online, AccountHost& host,
                         QWidget* parent)
    : QWidget(parent), session_(session), online_(online), host_(host) {
    for (size_t i = 0; i < icons_.size(); ++i) {
        icons_[i] = drawIcon(static_cast<PresenceIcon>(i));
    }
    playSound = [](const char* file) {
        // Asynchronous and never cutting another sound short; a missing file is skipped.
        audio::AlertPlayer::instance().play(
            file, audio::AlertPlayer::kAsync | audio::AlertPlayer::kNoStop);
    };

    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(tree_);
    onlineRoot_ = new QTreeWidgetItem(tree_, QStringList(QStringLiteral("Online")));
    offlineRoot_ = new QTreeWidgetItem(tree_, QStringList(QStringLiteral("Offline")));
    onlineRoot_->setIcon(0, Icon(PresenceIcon::OnlineRoot));
    offlineRoot_->setIcon(0, Icon(PresenceIcon::OfflineRoot));
    for (QTreeWidgetItem* r : {onlineRoot_, offlineRoot_}) {
        QFont bold = r->font(0);
        bold.setBold(true);
        r->setFont(0, bold);
    }
    onlineRoot_->setForeground(0, Qt::black);
    offlineRoot_->setForeground(0, kOfflineGrey);
    onlineRoot_->setExpanded(true);
    offlineRoot_->setExpanded(true);

    auto* buttons = new QHBoxLayout;
    auto* edit = new QPushButton(QStringLiteral("+/-"), this);
    auto* invite = new QPushButton(QStringLiteral("Invite"), this);
    auto* search = new QPushButton(QStringLiteral("Search"), this);
    edit->setToolTip(QStringLiteral("Add/Remove buddies from your buddylist."));
    invite->setToolTip(QStringLiteral("Invite your friend to use this software."));
    search->setToolTip(QStringLiteral("Search for a buddy."));
    buttons->addWidget(edit);
    buttons->addWidget(invite);
    buttons->addWidget(search);
    layout->addLayout(buttons);

    connect(edit, &QPushButton::clicked, this, &COnlinePage::OpenBuddyList);
    connect(invite, &QPushButton::clicked, this, [this] {
        host_.OpenWebPage("/app_links/app_invite.aspx?ClientType=0?InstanceGUID=" +
                          session_.InstanceGuid());
    });
    connect(search, &QPushButton::clicked, this,
            [this] { host_.OpenWebPage("/app_links/app_search.aspx?ClientType=0"); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item != nullptr && item->parent() == onlineRoot_) {
            host_.CallBuddy(plain(item->text(0)));
        }
    });
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = tree_->itemAt(at);
        const bool buddy = item != nullptr && item->parent() != nullptr;
        host_.ShowBuddyContextMenu(buddy ? plain(item->text(0)) : std::string(),
                                   tree_->viewport()->mapToGlobal(at));
    });

    online_.Reset(*this, session_.Buddies().Size());
}

QTreeWidgetItem* COnlinePage::root(Branch branch) const {
    return branch == Branch::Online ? onlineRoot_ : offlineRoot_;
}

QTreeWidgetItem* COnlinePage::find(Branch branch, const std::string& name) const {
    QTreeWidgetItem* r = root(branch);
    for (int i = 0; i < r->childCount(); ++i) {
        if (SameName(plain(r->child(i)->text(0)), name)) {
            return r->child(i);
        }
    }
    return nullptr;
}

std::vector<std::string> COnlinePage::Names(Branch branch) const {
    std::vector<std::string> names;
    QTreeWidgetItem* r = root(branch);
    for (int i = 0; i < r->childCount(); ++i) {
        names.push_back(plain(r->child(i)->text(0)));
    }
    return names;
}

void COnlinePage::Remove(Branch branch, const std::string& name) {
    delete find(branch, name);
}

void COnlinePage::Add(Branch branch, const std::string& name, const Reachability& look) {
    auto* item = new QTreeWidgetItem(root(branch), QStringList(text(name)));
    item->setIcon(0, Icon(look.icon));
    item->setToolTip(0, text(look.tooltip));
    item->setForeground(0, branch == Branch::Online ? QColor(Qt::black) : kOfflineGrey);
}

void COnlinePage::Update(const std::string& onlineName, const Reachability& look) {
    if (QTreeWidgetItem* item = find(Branch::Online, onlineName)) {
        item->setIcon(0, Icon(look.icon));
        item->setToolTip(0, text(look.tooltip));
    }
}

void COnlinePage::SetRootTexts(const std::string& online, const std::string& offline) {
    onlineRoot_->setText(0, text(online));
    offlineRoot_->setText(0, text(offline));
}

void COnlinePage::Refresh() {
    bool first = session_.firstRefresh.load();
    const PresenceAlerts alerts = online_.RefreshOnlineUsers(
        *this, session_.Buddies(), session_.LoggedInCredentials().user, first);
    session_.firstRefresh.store(first);
    if (alerts.playBuddyOut) {
        playSound("buddyout.wav");
    }
    if (alerts.playBuddyIn) {
        playSound("buddyin.wav");
    }
    for (const auto& popup : alerts.popups) {
        desktop::CNotifierPopup::notify(text(popup.text), 200, 50, popup.seconds);
    }
    if (alerts.expandOnline) {
        onlineRoot_->setExpanded(true);
    }
    if (alerts.expandOffline) {
        offlineRoot_->setExpanded(true);
    }
    if (alerts.scrollToOnline) {
        tree_->scrollToItem(onlineRoot_, QAbstractItemView::PositionAtTop);
    }
}

void COnlinePage::ExpandOnline() {
    onlineRoot_->setExpanded(true);
}

std::string COnlinePage::SelectedOnlineBuddy() const {
    QTreeWidgetItem* item = tree_->currentItem();
    return item != nullptr && item->parent() == onlineRoot_ ? plain(item->text(0)) : std::string();
}

void COnlinePage::OpenBuddyList() {
    CBuddyListDlg dialog(session_, this);
    dialog.exec();
    if (dialog.Uploaded()) {
        Refresh();
        host_.RunStatusTimerNow();
    }
}

}  // namespace ostrel::account
