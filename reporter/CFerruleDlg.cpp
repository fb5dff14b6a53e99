#include "reporter/CFerruleDlg.h"

#include <QCoreApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QString>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "reporter/CReportViewerDlg.h"
#include "reporter/CSendingStatusDlg.h"
#include "reporter/ClientLauncher.h"

namespace ostrel::reporter {

namespace {

QString local8Bit(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CFerruleDlg::CFerruleDlg(ReporterSwitches switches, std::string reportText,
                         FerruleDialogOptions options, QWidget* parent)
    : QDialog(parent),
      switches_(std::move(switches)),
      reportText_(std::move(reportText)),
      options_(std::move(options)),
      headline_(new QLabel("Talvero Client encountered a problem and had to be closed", this)),
      restart_(new QCheckBox("Restart Talvero Client", this)),
      link_(new CHyperlinkLabel("here", this)),
      send_(new QPushButton("Send Problem Report", this)),
      dontSend_(new QPushButton("Dont Send", this)) {
    if (!options_.startClient) {
        options_.startClient = [](const std::string& path) { return startClient(path) != -1; };
    }
    setWindowTitle(kTitle);

    QFont bold = font();
    bold.setWeight(QFont::DemiBold);  // 600
    headline_->setFont(bold);
    headline_->setObjectName("headline");
    restart_->setObjectName("restartBox");
    restart_->setChecked(true);
    link_->setObjectName("reportLink");
    send_->setObjectName("sendButton");
    dontSend_->setObjectName("dontSendButton");
    send_->setDefault(true);

    auto* linkRow = new QHBoxLayout;
    linkRow->setSpacing(0);
    linkRow->addWidget(new QLabel("To see what this report contains click ", this));
    linkRow->addWidget(link_);
    linkRow->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(send_);
    buttons->addWidget(dontSend_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headline_);
    layout->addSpacing(6);
    layout->addWidget(new QLabel("We are sorry for the inconvinence. ", this));
    layout->addWidget(restart_);
    layout->addSpacing(6);
    layout->addWidget(new QLabel(
        "Please report this problem to Talvero by clicking on Send Error Report.", this));
    layout->addLayout(linkRow);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(send_, &QPushButton::clicked, this, &CFerruleDlg::sendReport);
    connect(dontSend_, &QPushButton::clicked, this, &CFerruleDlg::dontSend);
    connect(link_, &CHyperlinkLabel::clicked, this, &CFerruleDlg::showReport);
}

CFerruleDlg::~CFerruleDlg() = default;

void CFerruleDlg::sendReport() {
    if (sending_) {
        return;
    }
    sending_ = true;
    // The events dispatched below reach this dialog too: no second send, close or viewer.
    send_->setEnabled(false);
    dontSend_->setEnabled(false);
    link_->setEnabled(false);

    ProblemReportPoster poster(switches_, reportText_, options_.timeoutSeconds,
                               options_.requesterOptions);
    CSendingStatusDlg status(this);
    status.showCentredOver(*this);
    if (poster.Start()) {
        while (poster.IsRunning()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            poster.Wait(1);  // nothing waiting: look at the thread again in a millisecond
        }
    }
    status.close();

    const SendOutcome& outcome = poster.Outcome();
    if (!outcome.delivered) {
        QMessageBox::warning(this, kTitle, local8Bit(outcome.message));
    } else if (!outcome.message.empty()) {
        QMessageBox::information(this, kTitle, local8Bit(outcome.message));
    }
    restartClientIfAsked();
    sending_ = false;
    QDialog::accept();
}

void CFerruleDlg::dontSend() {
    if (sending_) {
        return;
    }
    restartClientIfAsked();
    QDialog::reject();
}

void CFerruleDlg::reject() {
    dontSend();
}

void CFerruleDlg::showReport() {
    if (sending_) {
        return;
    }
    CReportViewerDlg viewer(reportText_, this);
    viewer.exec();
}

void CFerruleDlg::restartClientIfAsked() {
    if (!restart_->isChecked()) {
        return;
    }
    if (!options_.startClient(switches_.application)) {
        platform::trace("Could not start the client again: " + switches_.application);
    }
}

}  // namespace ostrel::reporter
