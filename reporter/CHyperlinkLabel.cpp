#include "reporter/CHyperlinkLabel.h"

#include <QEnterEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

namespace ostrel::reporter {

QColor CHyperlinkLabel::fromColorRef(uint32_t colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

CHyperlinkLabel::CHyperlinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont linkFont("Verdana", font().pointSize());
    linkFont.setUnderline(true);
    setFont(linkFont);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    applyColor();
}

QColor CHyperlinkLabel::currentColor() const {
    return palette().color(QPalette::WindowText);
}

void CHyperlinkLabel::applyColor() {
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, fromColorRef(hovered_ ? kHoverColorRef : kLinkColorRef));
    setPalette(colors);
}

void CHyperlinkLabel::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    applyColor();
    QLabel::enterEvent(event);
}

void CHyperlinkLabel::leaveEvent(QEvent* event) {
    hovered_ = false;
    pressed_ = false;
    applyColor();
    QLabel::leaveEvent(event);
}

void CHyperlinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

// A click is a press and a release over the link, as with a button: dragging off cancels it.
void CHyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CHyperlinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

}  // namespace ostrel::reporter
