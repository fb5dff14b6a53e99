// Call reports: the "Statistics" window with the traffic counters of this run. GUI thread
// only; the main window opens it from "View &Statistics" and refreshes it while it is open.
#pragma once

#include <QDialog>

#include "app/callreport/CallStatistics.h"

class QLabel;

namespace ostrel::callreport {

class CStatisticsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CStatisticsDlg(QWidget* parent = nullptr);

    // Shows these counters (the main window calls it on opening and after every change).
    void refresh(const CallStatistics& statistics);

    QString bytesReceivedText() const;
    QString bytesSentText() const;
    QString lostPacketsText() const;

private:
    QLabel* received_ = nullptr;
    QLabel* sent_ = nullptr;
    QLabel* lost_ = nullptr;
};

}  // namespace ostrel::callreport
