// How the main window tells the user things: message boxes, notifier pop-ups, alert sounds
// and beeps. Every notice is also announced by a signal, so a test (or a trace) sees the same
// texts the user sees. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace ostrel::app {

class WindowNotices : public QObject {
    Q_OBJECT
public:
    static constexpr int kPopupWidth = 200;
    static constexpr int kPopupHeight = 50;
    static constexpr int kPopupSeconds = 3;

    explicit WindowNotices(QWidget* owner);

    // A modal box owned by the window; returns the button it was closed with.
    QMessageBox::StandardButton box(const QString& text,
                                    QMessageBox::Icon icon = QMessageBox::Information,
                                    const QString& caption = QString(),
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    QMessageBox::StandardButton error(const QString& text) {
        return box(text, QMessageBox::Critical);
    }
    // A 200 x 50 notifier pop-up that slides away after 3 seconds.
    void popup(const QString& text);
    // Alert sounds from the program folder, asynchronous; `loop` repeats until stopSounds.
    void playSound(const QString& fileName, bool loop = false, bool noStop = false);
    void stopSounds();
    void beep(unsigned frequency, unsigned durationMs);

    // The caption of the window's boxes.
    static inline const QString kApplicationName = QStringLiteral("Talvero");

signals:
    void boxShown(const QString& text);
    void popupShown(const QString& text);
    void soundPlayed(const QString& fileName);
    void soundsStopped();

private:
    QPointer<QWidget> owner_;
};

}  // namespace ostrel::app
