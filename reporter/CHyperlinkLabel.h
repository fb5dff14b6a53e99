// Problem reporter: the underlined link text of the main dialog ("here"), which opens the
// report viewer. A GUI-thread widget: clicking it, or Space or Enter while it has the focus,
// emits clicked().
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

#include <cstdint>

namespace ostrel::reporter {

class CHyperlinkLabel : public QLabel {
    Q_OBJECT

public:
    // Windows colour values are 0x00BBGGRR: 0xAA0000 is a dark blue, 0xFF0000 a bright one.
    static constexpr uint32_t kLinkColorRef = 0xAA0000;
    static constexpr uint32_t kHoverColorRef = 0xFF0000;
    static QColor fromColorRef(uint32_t colorRef);

    explicit CHyperlinkLabel(const QString& text, QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    QColor currentColor() const;

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyColor();

    bool hovered_ = false;
    bool pressed_ = false;
};

}  // namespace ostrel::reporter
