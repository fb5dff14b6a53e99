#include "app/callreport/ui/CMissedCallsDlg.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ostrel::callreport {

CMissedCallsDlg::CMissedCallsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Missed Calls - Talvero");
    list_ = new QTreeWidget(this);
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Caller", "Time"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Each column keeps half of the list's width, whatever the window's size.
    list_->header()->setSectionResizeMode(QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    resize(420, 260);
}

void CMissedCallsDlg::addMissedCall(const std::string& caller, std::time_t when) {
    const MissedCalls::Entry& entry = calls_.add(caller, when);
    auto* row = new QTreeWidgetItem(
        {QString::fromLocal8Bit(entry.caller), QString::fromLocal8Bit(entry.time)});
    list_->insertTopLevelItem(0, row);
    show();
    raise();
}

}  // namespace ostrel::callreport
