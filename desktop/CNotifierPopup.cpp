#include "desktop/CNotifierPopup.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace ostrel::desktop {

std::atomic<int> CNotifierPopup::onScreen_{0};

namespace {
constexpr int kTextMargin = 6;
}

CNotifierPopup::CNotifierPopup(int width, int height, bool fitToText)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      fitToText_(fitToText) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);
    connect(&timer_, &QTimer::timeout, this, &CNotifierPopup::tick);
}

CNotifierPopup::~CNotifierPopup() {
    if (counted_) {
        onScreen_--;
    }
}

CNotifierPopup* CNotifierPopup::notify(const QString& text, int width, int height, int seconds,
                                       bool fitToText) {
    auto* popup = new CNotifierPopup(width, height, fitToText);
    popup->setText(text);
    popup->setDisplayTime(seconds);
    popup->show();
    return popup;
}

void CNotifierPopup::setText(const QString& text) {
    text_ = text;
}

void CNotifierPopup::setDisplayTime(int seconds) {
    displayMs_ = std::max(seconds, 0) * 1000;
}

int CNotifierPopup::textHeight() const {
    const QFontMetrics metrics(font());
    const QRect bounds = metrics.boundingRect(QRect(0, 0, width_ - 2 * kTextMargin, 10000),
                                              Qt::AlignLeft | Qt::TextWordWrap, text_);
    return bounds.height() + 2 * kTextMargin;
}

void CNotifierPopup::show() {
    if (counted_) {
        return;
    }
    if (fitToText_) {
        height_ = std::max(textHeight(), 1);
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    // Above the pop-ups already shown: one pop-up height per pop-up on screen.
    right_ = work.x() + work.width() - kRightMargin;
    bottom_ = work.y() + work.height() - onScreen_.load() * height_;
    counted_ = true;
    onScreen_++;
    visible_ = 0;
    elapsedMs_ = 0;
    falling_ = false;
    timer_.start(tickIntervalMs_);
}

void CNotifierPopup::place() {
    if (visible_ <= 0) {
        QWidget::hide();
        return;
    }
    setGeometry(right_ - width_, bottom_ - visible_, width_, visible_);
    if (!isVisible()) {
        QWidget::show();  // without activation: WA_ShowWithoutActivating
    }
}

void CNotifierPopup::tick() {
    elapsedMs_ += kTickMs;
    if (elapsedMs_ > displayMs_) {
        falling_ = true;
    }
    if (!falling_) {
        visible_ = std::min(visible_ + kSlidePixels, height_);
        place();
        return;
    }
    visible_ = std::max(visible_ - kSlidePixels, 0);
    place();
    if (visible_ == 0) {
        timer_.stop();
        emit slidAway(elapsedMs_);
        deleteLater();
    }
}

void CNotifierPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The text stays fixed to the pop-up's full height, so it is uncovered from the top.
    const QRect full(0, 0, width_, height_);
    painter.fillRect(rect(), QColor(255, 255, 225));
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(full.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.drawText(full.adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text_);
}

}  // namespace ostrel::desktop
