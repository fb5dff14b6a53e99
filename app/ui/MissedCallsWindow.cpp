#include "app/ui/MissedCallsWindow.h"

#include <QVBoxLayout>

namespace ostrel::app {

MissedCallsWindow::MissedCallsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), list_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("MissedCallsWindow"));
    setWindowTitle(QStringLiteral("Missed Calls"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Caller"), QStringLiteral("Time")});
    list_->setRootIsDecorated(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    resize(360, 240);
}

void MissedCallsWindow::addCall(const QString& caller, const QDateTime& when) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, caller);
    item->setText(1, when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    item->setData(1, Qt::UserRole, when);
}

QString MissedCallsWindow::caller(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item != nullptr ? item->text(0) : QString();
}

QDateTime MissedCallsWindow::time(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item != nullptr ? item->data(1, Qt::UserRole).toDateTime() : QDateTime();
}

}  // namespace ostrel::app
