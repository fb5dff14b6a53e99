// The main window's menus, tray icon, hot keys and web pages.
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "app/callreport/ui/CMissedCallsDlg.h"
#include "app/callreport/ui/CStatisticsDlg.h"
#include "app/settings/Settings.h"
#include "app/ui/BrowserWindow.h"
#include "app/ui/ConnectingWindow.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/ProgramSettingsDialog.h"
#include "app/ui/Updater.h"
#include "app/ui/WindowNotices.h"
#include "desktop/CHotkeyHandlerWindow.h"
#include "desktop/CSystemTray.h"
#include "desktop/VirtualKeys.h"
#include "platform/Platform.h"

namespace ostrel::app {

namespace {

constexpr uint32_t kTalkHotkeyId = 1000;
constexpr uint32_t kHangUpHotkeyId = 1001;

}  // namespace

void COstrelDlg::buildMenus() {
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const QString& text, auto slot) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    auto hosted = [this](QMenu* menu, const QString& text, MenuEntry entry) {
        QAction* action = menu->addAction(text);
        action->setEnabled(false);
        hostedActions_[entry] = action;
        connect(action, &QAction::triggered, this, [this, entry] {
            if (auto it = menuHandlers_.find(entry); it != menuHandlers_.end() && it->second) {
                it->second();
            }
        });
        return action;
    };
    auto page = [this](const QString& path, const QString& suffix) {
        return [this, path, suffix] { openWebPage(path + suffix); };
    };
    const QString guid = QString::fromStdString(options_.instanceGuid);

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("Upgrade Software"),
        [this] { startUpdater(QStringLiteral("/TEST=2")); });
    file->addSeparator();
    add(file, QStringLiteral("&Change Password"), [this] {
        openWebPage(QStringLiteral("/app_links/app_changepassword.aspx?ClientType=0?user=") +
                    user_);
    });
    add(file, QStringLiteral("&Update Your Account"),
        page(QStringLiteral("/app_links/app_myaccount.aspx?ClientType=0?InstanceGUID="), guid));
    add(file, QStringLiteral("Submit Feeback"),
        page(QStringLiteral("/app_links/app_feedback.aspx?ClientType=0?InstanceGUID="), guid));
    file->addSeparator();
    hosted(file, QStringLiteral("&Log Off"), MenuEntry::LogOff);
    add(file, QStringLiteral("E&xit"), &COstrelDlg::exitProgram);

    QMenu* buddies = bar->addMenu(QStringLiteral("&Buddies"));
    hosted(buddies, QStringLiteral("&Add/Delete Buddy"), MenuEntry::AddDeleteBuddy);
    hosted(buddies, QStringLiteral("&Refresh"), MenuEntry::Refresh);
    buddies->addSeparator();
    add(buddies, QStringLiteral("&Invite Friend"),
        page(QStringLiteral("/app_links/app_invite.aspx?ClientType=0?InstanceGUID="), guid));
    add(buddies, QStringLiteral("Register a &User"),
        page(QStringLiteral("/app_links/app_register.aspx?ClientType=0"), QString()));
    add(buddies, QStringLiteral("&Search for a Buddy"),
        page(QStringLiteral("/app_links/app_search.aspx?ClientType=0"), QString()));

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    add(tools, QStringLiteral("&Program Settings"), &COstrelDlg::openProgramSettings);
    hosted(tools, QStringLiteral("&Calling Card Settings"), MenuEntry::CallingCardSettings);
    hosted(tools, QStringLiteral("&Network Settings"), MenuEntry::NetworkSettings);
    hosted(tools, QStringLiteral("&Test Network Settings"), MenuEntry::TestNetworkSettings);
    hosted(tools, QStringLiteral("&Test Audio Settings"), MenuEntry::TestAudioSettings);
    tools->addSeparator();
    add(tools, QStringLiteral("System Volume Control - &Recording"),
        [this] { runVolumeControl(true); });
    add(tools, QStringLiteral("System Volume Control - &Playback"),
        [this] { runVolumeControl(false); });

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    add(view, QStringLiteral("View &Missed Calls"), [this] {
        missedCalls_->show();
        missedCalls_->raise();
    });
    add(view, QStringLiteral("View &Statistics"), [this] {
        if (!statisticsWindow_) {
            statisticsWindow_ = new callreport::CStatisticsDlg(this);
        }
        statisticsWindow_->refresh(statistics_);
        statisticsWindow_->show();
        statisticsWindow_->raise();
    });

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("Online &Help"),
        page(QStringLiteral("/app_links/app_Help.aspx?ClientType=0"), QString()));
    add(help, QStringLiteral("&Talvero Home"),
        page(QStringLiteral("/app_links/app_home.aspx?ClientType=0"), QString()));
    help->addSeparator();
    add(help, QStringLiteral("&About Talvero Client"), [this] {
        QMessageBox::about(this, QStringLiteral("About Talvero Client"),
                           QStringLiteral("Talvero Client, version 6\nInstance %1")
                               .arg(QString::fromStdString(options_.instanceGuid)));
    });
}

QAction* COstrelDlg::menuAction(const QString& text) const {
    for (QAction* top : menuBar()->actions()) {
        if (top->menu() == nullptr) {
            continue;
        }
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == text) {
                return action;
            }
        }
    }
    return nullptr;
}

void COstrelDlg::setMenuHandler(MenuEntry entry, std::function<void()> handler) {
    const bool enabled = static_cast<bool>(handler);
    menuHandlers_[entry] = std::move(handler);
    if (auto it = hostedActions_.find(entry); it != hostedActions_.end()) {
        it->second->setEnabled(enabled);
    }
}

void COstrelDlg::buildTray() {
    if (!options_.useDesktop) {
        return;
    }
    tray_ = new desktop::CSystemTray(this);
    tray_->create(this, QStringLiteral("Click here to Talk"), programIcon());
    tray_->setDefaultMenuItem(static_cast<int>(desktop::TrayCommand::Talk), false);
    connect(tray_, &desktop::CSystemTray::command, this, [this](desktop::TrayCommand which) {
        auto run = [this](MenuEntry entry) {
            if (auto it = menuHandlers_.find(entry); it != menuHandlers_.end() && it->second) {
                it->second();
            }
        };
        switch (which) {
            case desktop::TrayCommand::Talk:
                bringToFront();
                break;
            case desktop::TrayCommand::Logoff:
                run(MenuEntry::LogOff);
                break;
            case desktop::TrayCommand::Login:
                run(MenuEntry::Login);
                break;
            case desktop::TrayCommand::ProgramSettings:
                openProgramSettings();
                break;
            case desktop::TrayCommand::NetworkSettings:
                run(MenuEntry::NetworkSettings);
                break;
            case desktop::TrayCommand::Exit:
                exitProgram();
                break;
        }
    });
}

void COstrelDlg::registerHotkeys() {
    if (!options_.useDesktop) {
        return;
    }
    hotkeys_ = std::make_unique<desktop::CHotkeyHandlerWindow>();
    // The callback runs on the hot-key thread: it only queues the command for this window.
    auto forward = [window = QPointer<COstrelDlg>(this)](uint32_t id, void*) {
        const int code = id == kTalkHotkeyId ? kTalkHotkey : kHangUpHotkey;
        if (COstrelDlg* target = window.data()) {
            QMetaObject::invokeMethod(
                target,
                [window, code] {
                    if (window) {
                        window->command(code);
                    }
                },
                Qt::QueuedConnection);
        }
    };
    const uint16_t modifiers = desktop::MOD_CONTROL | desktop::MOD_ALT;
    hotkeys_->addHotkey(modifiers, 'Q', forward, kTalkHotkeyId);
    hotkeys_->addHotkey(modifiers, 'H', forward, kHangUpHotkeyId);
    // Keys another program holds, or no X display at all: the program runs without them.
    if (hotkeys_->start() != desktop::CHotkeyHandlerWindow::kStarted) {
        hotkeys_.reset();
    }
}

void COstrelDlg::releaseHotkeys() {
    if (hotkeys_) {
        hotkeys_->stop();
        hotkeys_.reset();
    }
}

bool COstrelDlg::openProgramSettings() {
    ProgramSettingsDialog dialog(this);
    return dialog.exec() == QDialog::Accepted;
}

void COstrelDlg::runVolumeControl(bool recording) {
    // The desktop's volume control on its recording or playback tab, else the terminal mixer.
    if (!QStandardPaths::findExecutable(QStringLiteral("pavucontrol")).isEmpty()) {
        QProcess::startDetached(
            QStringLiteral("pavucontrol"),
            {recording ? QStringLiteral("--tab=2") : QStringLiteral("--tab=1")});
        return;
    }
    const QStringList mixer = {
        QStringLiteral("-e"), QStringLiteral("alsamixer"),
        recording ? QStringLiteral("--view=capture") : QStringLiteral("--view=playback")};
    if (!QProcess::startDetached(QStringLiteral("x-terminal-emulator"), mixer)) {
        QProcess::startDetached(QStringLiteral("xterm"), mixer);
    }
}

void COstrelDlg::startUpdater(const QString& argument) {
    startUpdaterProgram(QString::fromStdString(platform::programFolder()), argument);
}

void COstrelDlg::openWebPage(const QString& pathAndQuery) {
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://") +
                                   QString::fromStdString(settings::serviceWebHost()) +
                                   pathAndQuery));
}

BrowserWindow* COstrelDlg::openBrowserWindow(const QString& address, int width, int height) {
    QUrl url(address);
    if (url.scheme().isEmpty()) {
        url = QUrl(QStringLiteral("http://") + QString::fromStdString(settings::serviceWebHost()) +
                   (address.startsWith('/') ? address : QStringLiteral("/") + address));
    }
    auto* window = new BrowserWindow(url, width, height, this);
    window->show();
    return window;
}

}  // namespace ostrel::app
