#include "app/ui/WindowNotices.h"

#include "audio/AlertPlayer.h"
#include "desktop/CNotifierPopup.h"

namespace ostrel::app {

WindowNotices::WindowNotices(QWidget* owner) : QObject(owner), owner_(owner) {}

QMessageBox::StandardButton WindowNotices::box(const QString& text, QMessageBox::Icon icon,
                                               const QString& caption,
                                               QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption.isEmpty() ? kApplicationName : caption, text, buttons,
                    owner_.data());
    emit boxShown(text);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void WindowNotices::popup(const QString& text) {
    desktop::CNotifierPopup::notify(text, kPopupWidth, kPopupHeight, kPopupSeconds);
    emit popupShown(text);
}

void WindowNotices::playSound(const QString& fileName, bool loop, bool noStop) {
    unsigned flags = audio::AlertPlayer::kAsync;
    if (loop) {
        flags |= audio::AlertPlayer::kLoop;
    }
    if (noStop) {
        flags |= audio::AlertPlayer::kNoStop;
    }
    audio::AlertPlayer::instance().play(fileName.toStdString(), flags);
    emit soundPlayed(fileName);
}

void WindowNotices::stopSounds() {
    audio::AlertPlayer::instance().stop();
    emit soundsStopped();
}

void WindowNotices::beep(unsigned frequency, unsigned durationMs) {
    // As short as the system's beep, and just as synchronous.
    audio::AlertPlayer::instance().beep(frequency, durationMs);
}

}  // namespace ostrel::app
