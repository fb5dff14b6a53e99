#include "desktop/CSystemTray.h"

#include <QAction>

namespace ostrel::desktop {

namespace {

struct MenuEntry {
    const char* text;  // null: separator
    TrayCommand command;
};

constexpr MenuEntry kTrayMenu[] = {
    {"Talk", TrayCommand::Talk},
    {nullptr, TrayCommand::Talk},
    {"Logoff", TrayCommand::Logoff},
    {"Login", TrayCommand::Login},
    {nullptr, TrayCommand::Talk},
    {"Program Settings", TrayCommand::ProgramSettings},
    {"Network Settings", TrayCommand::NetworkSettings},
    {nullptr, TrayCommand::Talk},
    {"Exit", TrayCommand::Exit},
};

}  // namespace

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) {}

CSystemTray::~CSystemTray() {
    removeIcon();
}

int CSystemTray::create(QWidget* owner, const QString& toolTip, const QIcon& icon) {
    owner_ = owner;
    menu_ = std::make_unique<QMenu>();
    for (const MenuEntry& entry : kTrayMenu) {
        if (!entry.text) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromLatin1(entry.text));
        action->setData(static_cast<int>(entry.command));
        const TrayCommand chosen = entry.command;
        connect(action, &QAction::triggered, this, [this, chosen] { emit command(chosen); });
    }
    setDefaultMenuItem(static_cast<int>(defaultCommand_), false);

    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    icon_->setContextMenu(menu_.get());
    setToolTip(toolTip);
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &CSystemTray::handleActivation);
    icon_->show();
    return QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;
}

int CSystemTray::setDefaultMenuItem(int item, bool byPosition) {
    if (!menu_) {
        return 0;
    }
    const QList<QAction*> actions = menu_->actions();
    QAction* found = nullptr;
    if (byPosition) {
        if (item >= 0 && item < actions.size() && !actions[item]->isSeparator()) {
            found = actions[item];
        }
    } else {
        for (QAction* action : actions) {
            if (!action->isSeparator() && action->data().toInt() == item) {
                found = action;
                break;
            }
        }
    }
    if (!found) {
        return 0;
    }
    menu_->setDefaultAction(found);
    defaultCommand_ = static_cast<TrayCommand>(found->data().toInt());
    return 1;
}

void CSystemTray::handleActivation(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
    if (owner_ && owner_->isVisible()) {
        owner_->raise();
        owner_->activateWindow();
    }
    emit command(defaultCommand_);
}

void CSystemTray::removeIcon() {
    if (icon_) {
        icon_->hide();
    }
}

void CSystemTray::setToolTip(const QString& toolTip) {
    if (icon_) {
        icon_->setToolTip(toolTip.left(kMaxToolTip));
    }
}

}  // namespace ostrel::desktop
