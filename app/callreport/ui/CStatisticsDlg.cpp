#include "app/callreport/ui/CStatisticsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel::callreport {

CStatisticsDlg::CStatisticsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Statistics");
    auto* group = new QGroupBox("During this session", this);
    auto* form = new QFormLayout(group);
    received_ = new QLabel("0", group);
    sent_ = new QLabel("0", group);
    lost_ = new QLabel("0", group);
    for (QLabel* value : {received_, sent_, lost_}) {
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    form->addRow("Bytes Received", received_);
    form->addRow("Bytes Sent", sent_);
    form->addRow("Lost Packets Detected", lost_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

void CStatisticsDlg::refresh(const CallStatistics& statistics) {
    received_->setText(QString::number(statistics.bytesReceived));
    sent_->setText(QString::number(statistics.bytesSent));
    lost_->setText(QString::number(statistics.lostPackets));
}

QString CStatisticsDlg::bytesReceivedText() const {
    return received_->text();
}
QString CStatisticsDlg::bytesSentText() const {
    return sent_->text();
}
QString CStatisticsDlg::lostPacketsText() const {
    return lost_->text();
}

}  // namespace ostrel::callreport
