// Call reports: the "Missed Calls - Talvero" window, a list of callers and times, newest first.
// GUI thread only. The main window creates it hidden at start-up, adds a row for every
// incoming call that rang out, and shows it from "View &Missed Calls".
#pragma once

#include <QDialog>

#include <ctime>

#include "app/callreport/MissedCalls.h"

class QTreeWidget;

namespace ostrel::callreport {

class CMissedCallsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMissedCallsDlg(QWidget* parent = nullptr);

    // Inserts the caller at the top with the local time `when`, then shows the window.
    void addMissedCall(const std::string& caller, std::time_t when);

    const MissedCalls& calls() const { return calls_; }
    QTreeWidget* list() const { return list_; }

private:
    MissedCalls calls_;
    QTreeWidget* list_ = nullptr;
};

}  // namespace ostrel::callreport
