#include "app/ui/ConnectingWindow.h"

#include <QVBoxLayout>

namespace ostrel::app {

ConnectingWindow::ConnectingWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConnectingWindow"));
    setWindowTitle(QStringLiteral("Talvero"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(this);
    label_->setMinimumWidth(280);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    layout->addWidget(label_);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    connect(cancel_, &QPushButton::clicked, this, &ConnectingWindow::cancelRequested);
    if (parent != nullptr) {
        adjustSize();
        move(parent->geometry().center() - rect().center());
    }
}

void ConnectingWindow::setText(const QString& text) {
    label_->setText(text);
}

}  // namespace ostrel::app
