#include "phone/ui/CEnterCallingCardDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "phone/ui/CardUploadFlow.h"
#include "phone/ui/PhoneHost.h"

namespace ostrel::phone {

namespace {

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

}  // namespace

CEnterCallingCardDlg::CEnterCallingCardDlg(PhoneHost& host, QWidget* parent)
    : QDialog(parent), host_(host) {
    setWindowTitle(tr("Enter Calling Card to Use"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    providers_ = new QComboBox(this);
    providers_->addItem(latin1(kSelectProvider));
    for (const auto& p : host_.cardBook().providers) {
        providers_->addItem(QString::fromStdString(p.displayName), QVariant::fromValue(p.id));
    }
    form->addRow(tr("Provider:"), providers_);
    account_ = new QLineEdit(this);
    form->addRow(tr("Account Number:"), account_);
    pin_ = new QLineEdit(this);
    form->addRow(tr("Pin:"), pin_);
    layout->addLayout(form);
    future_ = new QCheckBox(tr("Use this for future calls."), this);
    layout->addWidget(future_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    purchase_ = buttons->addButton(tr("Purchase New"), QDialogButtonBox::ActionRole);
    connect(purchase_, &QPushButton::clicked, this,
            [this] { host_.openServicePage(kPurchasePage); });
    connect(buttons, &QDialogButtonBox::accepted, this, &CEnterCallingCardDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool CEnterCallingCardDlg::ask(PhoneHost& host, QWidget* parent, CallingCard& card,
                               Provider& provider) {
    if (!host.account().loggedIn) {
        host.showMessage(parent, latin1(kNotLoggedInCards));
        return false;
    }
    CEnterCallingCardDlg dialog(host, parent);
    if (host.runDialog(dialog) != QDialog::Accepted) {
        return false;
    }
    card = dialog.card();
    provider = dialog.provider();
    return true;
}

void CEnterCallingCardDlg::accept() {
    std::optional<uint32_t> providerId;
    const Provider* chosen = nullptr;
    if (providers_->currentIndex() > 0) {
        providerId = providers_->currentData().toUInt();
        chosen = host_.cardBook().findProvider(*providerId);
    }
    const CardEntry entry =
        checkCardEntry(chosen ? providerId : std::nullopt, account_->text().toStdString(),
                       pin_->text().toStdString());
    if (!entry.card) {
        host_.showMessage(this, latin1(entry.refusal));
        return;
    }
    card_ = *entry.card;
    provider_ = *chosen;
    if (future_->isChecked()) {
        // Whether the upload worked does not hold up this call.
        uploadCards(host_, this, cardsForFutureCalls(host_.cardBook().cards, card_));
    }
    QDialog::accept();
}

}  // namespace ostrel::phone
