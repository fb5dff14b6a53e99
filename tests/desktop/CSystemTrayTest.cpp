#include <gtest/gtest.h>

#include <QAction>
#include <QPixmap>
#include <QSignalSpy>

#include <vector>

#include "desktop/CSystemTray.h"
#include "tests/support/QtTestApp.h"

using ostrel::desktop::CSystemTray;
using ostrel::desktop::TrayCommand;

namespace {

QIcon programIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

class SystemTrayTest : public ::testing::Test {
protected:
    void SetUp() override { tray.create(&owner, "Click here to Talk", programIcon()); }
    std::vector<TrayCommand> commands(QSignalSpy& spy) {
        std::vector<TrayCommand> result;
        for (const auto& args : spy) {
            result.push_back(args.at(0).value<TrayCommand>());
        }
        return result;
    }
    ostrel::test::QtAppFirst app;
    QWidget owner;
    CSystemTray tray;
};

TEST_F(SystemTrayTest, MenuInItsOrderWithTalkAsDefault) {
    std::vector<QString> texts;
    for (QAction* action : tray.menu()->actions()) {
        texts.push_back(action->isSeparator() ? QString("-") : action->text());
    }
    EXPECT_EQ(texts, (std::vector<QString>{"Talk", "-", "Logoff", "Login", "-", "Program Settings",
                                           "Network Settings", "-", "Exit"}));
    ASSERT_NE(tray.menu()->defaultAction(), nullptr);
    EXPECT_EQ(tray.menu()->defaultAction()->text(), "Talk");
    EXPECT_EQ(tray.icon()->contextMenu(), tray.menu());
    EXPECT_EQ(tray.icon()->toolTip(), "Click here to Talk");
}

TEST_F(SystemTrayTest, EachMenuItemSendsItsCommand) {
    QSignalSpy spy(&tray, &CSystemTray::command);
    for (QAction* action : tray.menu()->actions()) {
        if (!action->isSeparator()) {
            action->trigger();
        }
    }
    EXPECT_EQ(commands(spy),
              (std::vector<TrayCommand>{TrayCommand::Talk, TrayCommand::Logoff, TrayCommand::Login,
                                        TrayCommand::ProgramSettings, TrayCommand::NetworkSettings,
                                        TrayCommand::Exit}));
}

TEST_F(SystemTrayTest, DoubleClickSendsTheDefaultCommandAndNothingElseDoes) {
    QSignalSpy spy(&tray, &CSystemTray::command);
    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    emit tray.icon()->activated(QSystemTrayIcon::MiddleClick);
    emit tray.icon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(spy.count(), 0);
    emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(commands(spy), std::vector<TrayCommand>{TrayCommand::Talk});

    ASSERT_EQ(tray.setDefaultMenuItem(static_cast<int>(TrayCommand::Login), false), 1);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(commands(spy).back(), TrayCommand::Login);
    EXPECT_EQ(tray.menu()->defaultAction()->text(), "Login");
}

TEST_F(SystemTrayTest, DefaultItemByPositionCountsSeparators) {
    EXPECT_EQ(tray.setDefaultMenuItem(2, true), 1);
    EXPECT_EQ(tray.defaultCommand(), TrayCommand::Logoff);
    EXPECT_EQ(tray.setDefaultMenuItem(1, true), 0);  // a separator
    EXPECT_EQ(tray.setDefaultMenuItem(9, true), 0);
    EXPECT_EQ(tray.setDefaultMenuItem(8, true), 1);
    EXPECT_EQ(tray.defaultCommand(), TrayCommand::Exit);
    EXPECT_EQ(tray.setDefaultMenuItem(42, false), 0);
    EXPECT_EQ(tray.defaultCommand(), TrayCommand::Exit);
}

TEST_F(SystemTrayTest, AVisibleOwnerComesToTheFrontOnDoubleClick) {
    owner.show();
    QWidget other;
    other.show();
    other.activateWindow();
    ostrel::test::processEventsUntil([&] { return other.isActiveWindow(); }, 1000);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(ostrel::test::processEventsUntil([&] { return owner.isActiveWindow(); }, 2000));
}

TEST_F(SystemTrayTest, ToolTipIsCutTo63Characters) {
    tray.setToolTip(QString(100, 'x'));
    EXPECT_EQ(tray.icon()->toolTip().size(), 63);
}

TEST(SystemTray, RemovingHidesTheIcon) {
    ostrel::test::qtApp();
    CSystemTray tray;
    tray.create(nullptr, "tip", programIcon());
    EXPECT_TRUE(tray.icon()->isVisible());
    tray.removeIcon();
    EXPECT_FALSE(tray.icon()->isVisible());
    // Nothing to raise: a double click still sends the command.
    QSignalSpy spy(&tray, &CSystemTray::command);
    tray.handleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(spy.count(), 1);
}

}  // namespace
