// A message box whose caption counts the remaining seconds down and which closes itself at
// zero, so that a client left alone never stays blocked on a notice. GUI thread only (the box
// runs its own event loop there); worker threads ask the GUI thread to show one.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTimer>

namespace ostrel::desktop {

class CDelayMessageBox2 : public QMessageBox {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;
    static inline const QString kDefaultCaptionFormat = QStringLiteral("%d seconds remaining");

    explicit CDelayMessageBox2(QWidget* owner = nullptr);

    // The caption; its first "%d" is replaced by the remaining seconds.
    void setCaptionFormat(const QString& format) { captionFormat_ = format; }
    QString captionFormat() const { return captionFormat_; }

    // Shows the box modally and returns the button it was closed with. Unless
    // `keepSecondButtonEnabled`, the box's Cancel button stays disabled until the count ends.
    // At zero that button is enabled and focused, and with `autoClose` the box closes as if
    // its Cancel button (or its only button) had been pressed.
    QMessageBox::StandardButton showBox(const QString& text, int seconds, bool autoClose,
                                        bool keepSecondButtonEnabled,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::Icon icon = QMessageBox::Information);

    int remainingSeconds() const { return remaining_; }

    // `format` with its first "%d" replaced by `seconds`; unchanged without one.
    static QString formatCaption(const QString& format, int seconds);

    // Tests count a second every `ms` real milliseconds. The product never calls this.
    static void setTickIntervalForTesting(int ms) { tickIntervalMs_ = ms; }

signals:
    // After every caption change, with the seconds it shows.
    void countedDown(int remaining);

private:
    void tick();
    QAbstractButton* secondButton() const;
    QAbstractButton* closingButton() const;

    QString captionFormat_ = kDefaultCaptionFormat;
    int remaining_ = 0;
    bool autoClose_ = false;
    QTimer timer_;
    static inline int tickIntervalMs_ = kTickMs;
};

}  // namespace ostrel::desktop
