#include "desktop/CDelayMessageBox2.h"

#include <QAbstractButton>
#include <QPushButton>

#include <algorithm>

namespace ostrel::desktop {

CDelayMessageBox2::CDelayMessageBox2(QWidget* owner) : QMessageBox(owner) {
    connect(&timer_, &QTimer::timeout, this, &CDelayMessageBox2::tick);
}

QString CDelayMessageBox2::formatCaption(const QString& format, int seconds) {
    const int at = format.indexOf(QStringLiteral("%d"));
    if (at < 0) {
        return format;
    }
    QString caption = format;
    caption.replace(at, 2, QString::number(seconds));
    return caption;
}

QAbstractButton* CDelayMessageBox2::secondButton() const {
    return button(QMessageBox::Cancel);
}

QAbstractButton* CDelayMessageBox2::closingButton() const {
    if (QAbstractButton* cancel = button(QMessageBox::Cancel)) {
        return cancel;
    }
    if (QAbstractButton* escape = escapeButton()) {
        return escape;
    }
    const auto all = buttons();
    return all.size() == 1 ? all.front() : nullptr;
}

QMessageBox::StandardButton CDelayMessageBox2::showBox(const QString& text, int seconds,
                                                       bool autoClose, bool keepSecondButtonEnabled,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::Icon icon) {
    setText(text);
    setIcon(icon);
    setStandardButtons(buttons);
    remaining_ = std::max(seconds, 0);
    autoClose_ = autoClose;
    if (QAbstractButton* second = secondButton(); second && !keepSecondButtonEnabled) {
        second->setEnabled(false);
    }
    setWindowTitle(formatCaption(captionFormat_, remaining_));
    emit countedDown(remaining_);
    timer_.start(tickIntervalMs_);
    if (remaining_ == 0) {
        QTimer::singleShot(0, this, &CDelayMessageBox2::tick);
    }
    exec();
    timer_.stop();
    QAbstractButton* pressed = clickedButton();
    return pressed ? standardButton(pressed) : QMessageBox::NoButton;
}

void CDelayMessageBox2::tick() {
    if (remaining_ > 0) {
        remaining_--;
        setWindowTitle(formatCaption(captionFormat_, remaining_));
        emit countedDown(remaining_);
    }
    if (remaining_ > 0) {
        return;
    }
    timer_.stop();
    if (QAbstractButton* second = secondButton()) {
        second->setEnabled(true);
        second->setFocus();
    }
    if (autoClose_) {
        if (QAbstractButton* closing = closingButton()) {
            closing->click();
        } else {
            reject();
        }
    }
}

}  // namespace ostrel::desktop
