// The client's icon in the desktop's notification area with its small menu. It holds no call
// state: every choice is handed to the main window as a command. GUI thread only.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

namespace ostrel::desktop {

// The tray menu's commands, in menu order.
enum class TrayCommand { Talk, Logoff, Login, ProgramSettings, NetworkSettings, Exit };

class CSystemTray : public QObject {
    Q_OBJECT
public:
    // The tool tip holds at most 63 characters (64 with the terminator).
    static constexpr int kMaxToolTip = 63;

    explicit CSystemTray(QObject* parent = nullptr);
    // Removes the icon.
    ~CSystemTray() override;

    // Builds the tray menu and adds the icon with its tool tip. `owner` is brought to the front
    // on a double click. Returns 1 when the desktop has a notification area (the icon shows),
    // 0 when it has none; the menu and the commands work either way.
    int create(QWidget* owner, const QString& toolTip, const QIcon& icon);

    // Marks the default item: by command, or by position in the menu (separators count).
    // Returns 1 when such an item exists.
    int setDefaultMenuItem(int item, bool byPosition);
    // The default item's command; Talk unless set otherwise.
    TrayCommand defaultCommand() const { return defaultCommand_; }

    // The icon's activation: a double click brings the owner forward and sends the default
    // command; every other gesture is ignored (the menu opens by itself on a right click).
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    void removeIcon();
    void setToolTip(const QString& toolTip);
    void setTargetWindow(QWidget* owner) { owner_ = owner; }

    QMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon* icon() const { return icon_.get(); }

signals:
    void command(ostrel::desktop::TrayCommand command);

private:
    QPointer<QWidget> owner_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    TrayCommand defaultCommand_ = TrayCommand::Talk;
};

}  // namespace ostrel::desktop
