#include "app/ui/DirectCallPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/DirectCallTarget.h"
#include "app/settings/Settings.h"
#include "app/ui/WindowNotices.h"

namespace ostrel::app {

DirectCallPage::DirectCallPage(WindowNotices& notices, QWidget* parent)
    : QWidget(parent), notices_(notices), address_(new QComboBox(this)) {
    setObjectName(QStringLiteral("DirectCallPage"));
    address_->setEditable(true);
    address_->setInsertPolicy(QComboBox::NoInsert);
    address_->setObjectName(QStringLiteral("AddressField"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("IP Address/Host name of the computer to call:"), this));
    layout->addWidget(address_);
    layout->addWidget(
        new QLabel(QStringLiteral("host, host:port, or h323://host@bridgehost:bridgeport"), this));
    layout->addStretch();
    reloadHistory();
}

void DirectCallPage::reloadHistory() {
    const QString typed = address_->currentText();
    address_->clear();
    for (const std::string& entry : splitHistory(settings::read(settings::value::IPList))) {
        address_->addItem(QString::fromStdString(entry));
    }
    address_->setCurrentText(typed);
}

std::optional<engine::ConnectionRequest> DirectCallPage::prepareCall(bool quiet) {
    DirectCallTarget target = parseDirectCallTarget(address_->currentText().toStdString());
    if (!target.valid) {
        if (!quiet) {
            notices_.box(QString::fromStdString(target.error), QMessageBox::Warning);
        }
        return std::nullopt;
    }
    const std::string stored = settings::read(settings::value::IPList);
    settings::write(settings::value::IPList,
                    addToHistory(stored, target.entry, settings::value::IPList.bufferSize));
    reloadHistory();
    return target.request;
}

}  // namespace ostrel::app
