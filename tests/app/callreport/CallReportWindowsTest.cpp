// The Statistics and missed-calls windows on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>

#include "app/callreport/ui/CMissedCallsDlg.h"
#include "app/callreport/ui/CStatisticsDlg.h"
#include "tests/support/QtTestApp.h"

using namespace ostrel;
using namespace ostrel::callreport;

TEST(CStatisticsDlg, ShowsTheCountersItIsGiven) {
    test::qtApp();
    CStatisticsDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Statistics");
    CallStatistics statistics;
    statistics.count({engine::NotificationCode::BytesReceived, engine::SessionCount{{}, 3300}});
    statistics.count({engine::NotificationCode::BytesSent, engine::SessionCount{{}, 4294967295u}});
    statistics.count({engine::NotificationCode::PacketsLost, engine::SessionCount{{}, 5}});
    dialog.refresh(statistics);
    EXPECT_EQ(dialog.bytesReceivedText(), "3300");
    EXPECT_EQ(dialog.bytesSentText(), "4294967295");
    EXPECT_EQ(dialog.lostPacketsText(), "5");
}

TEST(CMissedCallsDlg, RowsNewestFirstAndTheWindowShows) {
    test::qtApp();
    setenv("TZ", "UTC", 1);
    tzset();
    CMissedCallsDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Missed Calls - Talvero");
    EXPECT_FALSE(dialog.isVisible());  // made hidden at start-up
    QTreeWidget* list = dialog.list();
    EXPECT_EQ(list->headerItem()->text(0), "Caller");
    EXPECT_EQ(list->headerItem()->text(1), "Time");

    dialog.addMissedCall("bob", 1733666590);
    EXPECT_TRUE(dialog.isVisible());
    dialog.addMissedCall("carol", 1733666650);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "carol");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "December 08, 14:04:10");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "bob");

    for (int width : {420, 800}) {
        dialog.resize(width, 300);
        QApplication::processEvents();
        const int first = list->columnWidth(0);
        EXPECT_LE(std::abs(first - list->columnWidth(1)), 1);
        EXPECT_LE(std::abs(first + list->columnWidth(1) - list->viewport()->width()), 1);
    }
}
