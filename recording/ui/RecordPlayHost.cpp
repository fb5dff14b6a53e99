#include "recording/ui/RecordPlayHost.h"

#include <QFileDialog>
#include <QMessageBox>

#include "audio/AlertPlayer.h"

namespace ostrel::recording::ui {

void RecordPlayHost::showMessage(const QString& text) {
    QMessageBox::warning(nullptr, QStringLiteral("Ostrel"), text);
}

QString RecordPlayHost::chooseRecordingFile(const QString& startFolder) {
    return QFileDialog::getOpenFileName(
        nullptr, QString(), startFolder,
        QStringLiteral("Brenvoice Recorded Conversations (*.vrec)"));
}

void RecordPlayHost::playStartClick() {
    audio::AlertPlayer::instance().play("click.wav", audio::AlertPlayer::kAsync);
}

}  // namespace ostrel::recording::ui
