#include "phone/ui/CLookupFailedDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "phone/ui/PhoneHost.h"

namespace ostrel::phone {

QStringList CLookupFailedDlg::lines() {
    return {QString::fromLatin1(kLookupFailedText),
            QStringLiteral("Possible Causes"),
            QStringLiteral("1. Your internet connection may be down"),
            QStringLiteral("2. Your computer may be behind a firewall which blocks UDP packets.\n"
                           "    Please check with your network administrator."),
            QStringLiteral("3. Talvero telephone gateway may be down temporarily."),
            QStringLiteral("If the problem persists, please write to %1")
                .arg(QString::fromLatin1(kSupportAddress))};
}

CLookupFailedDlg::CLookupFailedDlg(PhoneHost& host, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kMessageCaption));
    auto* layout = new QVBoxLayout(this);
    for (const QString& line : lines()) {
        layout->addWidget(new QLabel(line, this));
    }
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Help | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [&host] { host.openServicePage(kHelpPage); });
    layout->addWidget(buttons);
}

}  // namespace ostrel::phone
