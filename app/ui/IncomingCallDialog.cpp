#include "app/ui/IncomingCallDialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ostrel::app {

IncomingCallDialog::IncomingCallDialog(Kind kind, const QString& caller, int ringSeconds,
                                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("IncomingCallDialog"));
    auto* layout = new QVBoxLayout(this);
    if (kind == Kind::NewCall) {
        setWindowTitle(QStringLiteral("Incoming Call"));
        layout->addWidget(new QLabel(QStringLiteral("From : ") + caller, this));
        layout->addWidget(new QLabel(
            QStringLiteral(
                "If you accept it, you will be connected to your buddy's computer directly."),
            this));
        accept_ = new QPushButton(QStringLiteral("Accept"), this);
    } else {
        setWindowTitle(QStringLiteral("Incoming Call"));
        layout->addWidget(new QLabel(QStringLiteral("Incoming call->") + caller, this));
        accept_ = new QPushButton(QStringLiteral("Add To Conference"), this);
    }
    reject_ = new QPushButton(QStringLiteral("Reject"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(accept_);
    buttons->addWidget(reject_);
    layout->addLayout(buttons);

    connect(accept_, &QPushButton::clicked, this, [this] { finishWith(Outcome::Accepted); });
    connect(reject_, &QPushButton::clicked, this, [this] { finishWith(Outcome::Rejected); });
    ringTimer_.setSingleShot(true);
    connect(&ringTimer_, &QTimer::timeout, this, [this] { finishWith(Outcome::TimedOut); });
    ringTimer_.start(std::max(ringSeconds, 0) * secondMs_);
}

void IncomingCallDialog::finishWith(Outcome outcome) {
    if (finished_) {
        return;
    }
    finished_ = true;
    ringTimer_.stop();
    outcome_ = outcome;
    emit answered(outcome);
    done(outcome == Outcome::Accepted ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace ostrel::app
