#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>

#include <vector>

#include "desktop/CNotifierPopup.h"
#include "tests/support/QtTestApp.h"

using ostrel::desktop::CNotifierPopup;


namespace {

class NotifierPopupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        CNotifierPopup::setTickIntervalForTesting(1);
    }
    void TearDown() override {
        ostrel::test::processEventsUntil([] { return CNotifierPopup::onScreenCount() == 0; });
        CNotifierPopup::setTickIntervalForTesting(CNotifierPopup::kTickMs);
    }
    static QRect workArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

TEST_F(NotifierPopupTest, ThreePopupsStackAndEachSlidesAwayAfterItsOwnTime) {
    std::vector<QPointer<CNotifierPopup>> popups;
    std::vector<int> vanished;  // index of each pop-up as it goes
    std::vector<int> elapsed(3, 0);
    for (int i = 0; i < 3; ++i) {
        CNotifierPopup* p =
            CNotifierPopup::notify(QString("User Connected -> %1").arg(i), 200, 50, 3 - i);
        QObject::connect(p, &CNotifierPopup::slidAway, [&, i](int ms) {
            vanished.push_back(i);
            elapsed[i] = ms;
        });
        popups.emplace_back(p);
    }
    EXPECT_EQ(CNotifierPopup::onScreenCount(), 3);
    const QRect work = workArea();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(popups[i]->slotBottom(), work.y() + work.height() - i * 50);
        EXPECT_EQ(popups[i]->slotRight(), work.x() + work.width() - 10);
    }
    // Rising by 5 pixels a step, all three are fully up after ten steps.
    ASSERT_TRUE(ostrel::test::processEventsUntil(
        [&] { return popups[0] && popups[0]->visibleHeight() == 50; }));
    const QRect first = popups[0]->geometry();
    EXPECT_EQ(first.right() + 1, work.x() + work.width() - 10);
    EXPECT_EQ(first.bottom() + 1, work.y() + work.height());
    EXPECT_EQ(first.height(), 50);

    ASSERT_TRUE(ostrel::test::processEventsUntil(
        [&] { return CNotifierPopup::onScreenCount() == 0; }, 20000));
    // Shortest display time first. Each goes once more than its time has passed (20 ms steps)
    // and then takes ten steps to slide down: display time + 200 ms.
    EXPECT_EQ(vanished, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(elapsed, (std::vector<int>{3200, 2200, 1200}));
    for (const auto& p : popups) {
        EXPECT_TRUE(ostrel::test::processEventsUntil([&] { return p.isNull(); }));
    }
}

TEST_F(NotifierPopupTest, ANewPopupTakesTheSlotAboveThoseStillShown) {
    QPointer<CNotifierPopup> a = CNotifierPopup::notify("a", 150, 50, 1);
    QPointer<CNotifierPopup> b = CNotifierPopup::notify("b", 150, 50, 5);
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] { return a.isNull(); }, 10000));
    EXPECT_EQ(CNotifierPopup::onScreenCount(), 1);
    QPointer<CNotifierPopup> c = CNotifierPopup::notify("c", 150, 50, 1);
    const QRect work = workArea();
    EXPECT_EQ(c->slotBottom(), work.y() + work.height() - 50);
    EXPECT_EQ(b->slotBottom(), work.y() + work.height() - 50);
}

TEST_F(NotifierPopupTest, NeverTakesTheFocus) {
    QLineEdit editor;
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    ostrel::test::processEventsUntil([&] { return editor.hasFocus(); }, 1000);
    QWidget* const activeBefore = QApplication::activeWindow();
    QPointer<CNotifierPopup> p = CNotifierPopup::notify("Network lost some packets");
    EXPECT_TRUE(p->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(p->testAttribute(Qt::WA_ShowWithoutActivating));
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] { return p && p->isVisible(); }));
    EXPECT_EQ(QApplication::activeWindow(), activeBefore);
    EXPECT_FALSE(p->isActiveWindow());
    EXPECT_EQ(p->focusPolicy(), Qt::NoFocus);
}

TEST_F(NotifierPopupTest, FitToTextGrowsWithTheLines) {
    QPointer<CNotifierPopup> one =
        CNotifierPopup::notify("Network congestion with\n------\nalice", 200, 50, 1, true);
    QPointer<CNotifierPopup> many = CNotifierPopup::notify(
        "Network congestion with\n------\nalice\nbob\ncarol\ndave", 200, 50, 1, true);
    EXPECT_GT(many->fullHeight(), one->fullHeight());
    // The second sits one of its own heights above the first slot.
    EXPECT_EQ(many->slotBottom(), workArea().y() + workArea().height() - many->fullHeight());
}

TEST_F(NotifierPopupTest, DisplayTimeIsGivenInWholeSeconds) {
    CNotifierPopup* p = new CNotifierPopup(200, 50, false);
    int elapsed = 0;
    QObject::connect(p, &CNotifierPopup::slidAway, [&](int ms) { elapsed = ms; });
    p->setText("x");
    p->setDisplayTime(0);
    p->show();
    ASSERT_TRUE(ostrel::test::processEventsUntil([&] { return elapsed != 0; }));
    // Falls at once: the first step already lowers it, never having risen more than 5 px.
    EXPECT_EQ(elapsed, 20);
}

}  // namespace
