#include "phone/ui/PhoneHost.h"

#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QUrl>

#include "app/settings/Settings.h"
#include "audio/AlertPlayer.h"

namespace ostrel::phone {

void PhoneHost::showMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QString::fromLatin1(kMessageCaption), text);
}

int PhoneHost::runDialog(QDialog& dialog) {
    return dialog.exec();
}

void PhoneHost::openServicePage(const std::string& pathAndQuery) {
    const std::string url = "http://" + settings::serviceWebHost() + pathAndQuery;
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void PhoneHost::playKeyClick(std::string_view file) {
    audio::AlertPlayer::instance().play(std::string(file),
                                        audio::AlertPlayer::kSync | audio::AlertPlayer::kNoStop);
}

bool PhoneHost::isCallActive() {
    bool active = false;
    withEngine([&](engine::Engine& e) { active = e.isCallActive(); });
    return active;
}

}  // namespace ostrel::phone
