#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTimer>

#include <vector>

#include "desktop/CDelayMessageBox2.h"
#include "tests/support/QtTestApp.h"

using ostrel::desktop::CDelayMessageBox2;

namespace {

class DelayMessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        CDelayMessageBox2::setTickIntervalForTesting(5);
    }
    void TearDown() override {
        CDelayMessageBox2::setTickIntervalForTesting(CDelayMessageBox2::kTickMs);
    }
};

TEST_F(DelayMessageBoxTest, A25SecondBoxShows25FirstAndClosesItself) {
    CDelayMessageBox2 box;
    box.setCaptionFormat(
        "You are logged off from Talvero.     [This window will auto close in %d secs]");
    std::vector<QString> titles;
    QObject::connect(&box, &QWidget::windowTitleChanged,
                     [&](const QString& title) { titles.push_back(title); });
    const auto result = box.showBox("#You were logged in elsewhere", 25, true, false);
    ASSERT_EQ(titles.size(), 26u);
    EXPECT_EQ(titles.front(),
              "You are logged off from Talvero.     [This window will auto close in 25 secs]");
    EXPECT_EQ(titles[1],
              "You are logged off from Talvero.     [This window will auto close in 24 secs]");
    EXPECT_EQ(titles.back(),
              "You are logged off from Talvero.     [This window will auto close in 0 secs]");
    EXPECT_EQ(result, QMessageBox::Ok);
    EXPECT_EQ(box.remainingSeconds(), 0);
    EXPECT_FALSE(box.isVisible());
}

TEST_F(DelayMessageBoxTest, TheCancelButtonWaitsForTheCountUnlessKeptEnabled) {
    CDelayMessageBox2 box;
    std::vector<bool> enabledWhileCounting;
    QObject::connect(&box, &CDelayMessageBox2::countedDown, [&](int remaining) {
        if (remaining > 0) {
            enabledWhileCounting.push_back(box.button(QMessageBox::Cancel)->isEnabled());
        }
    });
    const auto result = box.showBox("text", 3, true, false, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(enabledWhileCounting, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(box.button(QMessageBox::Cancel)->isEnabled());
    EXPECT_EQ(result, QMessageBox::Cancel);  // closed as if its second button was pressed

    CDelayMessageBox2 kept;
    std::vector<bool> keptEnabled;
    QObject::connect(&kept, &CDelayMessageBox2::countedDown, [&](int remaining) {
        if (remaining > 0) {
            keptEnabled.push_back(kept.button(QMessageBox::Cancel)->isEnabled());
        }
    });
    kept.showBox("text", 2, true, true, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(keptEnabled, (std::vector<bool>{true, true}));
}

TEST_F(DelayMessageBoxTest, AButtonPressedEarlyEndsTheBoxWithThatButton) {
    CDelayMessageBox2 box;
    QTimer::singleShot(20, &box, [&] { box.button(QMessageBox::Yes)->click(); });
    QElapsedTimer timer;
    timer.start();
    const auto result = box.showBox("Quit?", 1000, true, false, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(result, QMessageBox::Yes);
    EXPECT_GT(box.remainingSeconds(), 0);
    EXPECT_LT(timer.elapsed(), 4000);
}

TEST_F(DelayMessageBoxTest, WithoutAutoCloseTheBoxStaysAtZero) {
    CDelayMessageBox2 box;
    bool stillOpenAtZero = false;
    QObject::connect(&box, &CDelayMessageBox2::countedDown, [&](int remaining) {
        if (remaining == 0) {
            QTimer::singleShot(50, &box, [&] {
                stillOpenAtZero = box.isVisible();
                box.button(QMessageBox::Ok)->click();
            });
        }
    });
    EXPECT_EQ(box.showBox("text", 2, false, false), QMessageBox::Ok);
    EXPECT_TRUE(stillOpenAtZero);
}

TEST_F(DelayMessageBoxTest, CaptionFormats) {
    EXPECT_EQ(CDelayMessageBox2::formatCaption("%d seconds remaining", 7), "7 seconds remaining");
    EXPECT_EQ(CDelayMessageBox2::formatCaption("Talvero Login Failed.", 7),
              "Talvero Login Failed.");
    EXPECT_EQ(CDelayMessageBox2::formatCaption("Server is busy.     [Auto close in %d secs]", 10),
              "Server is busy.     [Auto close in 10 secs]");
    EXPECT_EQ(CDelayMessageBox2::formatCaption("%d and %d", 1), "1 and %d");
    EXPECT_EQ(CDelayMessageBox2::formatCaption("100% sure", 1), "100% sure");

    CDelayMessageBox2 box;
    box.setCaptionFormat("No count here");
    std::vector<QString> titles;
    QObject::connect(&box, &QWidget::windowTitleChanged,
                     [&](const QString& title) { titles.push_back(title); });
    box.showBox("text", 2, true, false);
    EXPECT_EQ(box.windowTitle(), "No count here");
    EXPECT_EQ(CDelayMessageBox2().captionFormat(), "%d seconds remaining");
}

}  // namespace
