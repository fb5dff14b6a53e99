#include "phone/ui/CCallingCardSettingsDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "phone/ui/CardUploadFlow.h"
#include "phone/ui/PhoneHost.h"

namespace ostrel::phone {

namespace {

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

}  // namespace

CCallingCardSettingsDlg::CCallingCardSettingsDlg(PhoneHost& host, QWidget* parent)
    : QDialog(parent), host_(host) {
    setWindowTitle(tr("Calling Card Settings"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Provider"), this), 0, 1);
    grid->addWidget(new QLabel(tr("Account Number"), this), 0, 2);
    grid->addWidget(new QLabel(tr("Pin"), this), 0, 3);
    choices_ = new QButtonGroup(this);
    choices_->setExclusive(true);
    for (size_t i = 0; i < kCardRows; ++i) {
        Row& r = rows_[i];
        r.isDefault = new QRadioButton(tr("Default"), this);
        r.provider = new QComboBox(this);
        r.provider->addItem(latin1(kSelectProvider));
        for (const auto& p : host_.cardBook().providers) {
            r.provider->addItem(QString::fromStdString(p.displayName), QVariant::fromValue(p.id));
        }
        r.account = new QLineEdit(this);
        r.pin = new QLineEdit(this);
        choices_->addButton(r.isDefault);
        const int line = static_cast<int>(i) + 1;
        grid->addWidget(r.isDefault, line, 0);
        grid->addWidget(r.provider, line, 1);
        grid->addWidget(r.account, line, 2);
        grid->addWidget(r.pin, line, 3);
        connect(r.provider, &QComboBox::currentIndexChanged, this,
                [this, i] { providerChanged(i); });
    }
    layout->addLayout(grid);
    manual_ = new QRadioButton(
        tr("I will manually enter calling card info each time I make a call."), this);
    choices_->addButton(manual_);
    layout->addWidget(manual_);

    purchase_ = new QLabel(QStringLiteral("<a href=\"purchase\">%1</a>")
                               .arg(tr("Click here to purshase a calling card")),
                           this);
    purchase_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(purchase_, &QLabel::linkActivated, this,
            [this] { host_.openServicePage(kPurchasePage); });
    layout->addWidget(purchase_);

    auto* buttons = new QHBoxLayout;
    clearAll_ = new QPushButton(tr("Clear &All"), this);
    save_ = new QPushButton(tr("&Save"), this);
    cancel_ = new QPushButton(tr("&Cancel"), this);
    save_->setDefault(true);
    buttons->addWidget(clearAll_);
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(clearAll_, &QPushButton::clicked, this, &CCallingCardSettingsDlg::clearAll);
    connect(save_, &QPushButton::clicked, this, &CCallingCardSettingsDlg::save);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    fill(host_.cardBook().cards);
}

void CCallingCardSettingsDlg::run(PhoneHost& host, QWidget* parent) {
    if (!host.account().loggedIn) {
        host.showMessage(parent, latin1(kNotLoggedInCards));
        return;
    }
    CCallingCardSettingsDlg dialog(host, parent);
    host.runDialog(dialog);
}

void CCallingCardSettingsDlg::fill(const std::vector<CallingCard>& cards) {
    const auto values = rowsForCards(cards);
    bool anyDefault = false;
    for (size_t i = 0; i < kCardRows; ++i) {
        Row& r = rows_[i];
        const CardRow& v = values[i];
        const int index =
            v.providerId ? r.provider->findData(QVariant::fromValue(*v.providerId)) : -1;
        r.provider->setCurrentIndex(index > 0 ? index : 0);
        providerChanged(i);
        if (index > 0) {
            r.account->setText(QString::fromStdString(v.account));
            r.pin->setText(QString::fromStdString(v.pin));
        }
        if (v.isDefault) {
            r.isDefault->setChecked(true);
            anyDefault = true;
        }
    }
    if (!anyDefault) {
        manual_->setChecked(true);
    }
}

void CCallingCardSettingsDlg::providerChanged(size_t i) {
    Row& r = rows_[i];
    const bool chosen = r.provider->currentIndex() > 0;
    if (!chosen) {
        r.account->clear();
        r.pin->clear();
    }
    r.account->setEnabled(chosen);
    r.pin->setEnabled(chosen);
}

std::vector<CardRow> CCallingCardSettingsDlg::rowValues() const {
    std::vector<CardRow> values;
    for (const Row& r : rows_) {
        CardRow v;
        if (r.provider->currentIndex() > 0) {
            v.providerId = r.provider->currentData().toUInt();
        }
        v.account = r.account->text().toStdString();
        v.pin = r.pin->text().toStdString();
        v.isDefault = r.isDefault->isChecked();
        values.push_back(std::move(v));
    }
    return values;
}

void CCallingCardSettingsDlg::clearAll() {
    for (size_t i = 0; i < kCardRows; ++i) {
        rows_[i].provider->setCurrentIndex(0);
        providerChanged(i);
    }
    manual_->setChecked(true);
}

void CCallingCardSettingsDlg::save() {
    const CardRowsCheck check = checkCardRows(rowValues());
    if (!check.refusal.empty()) {
        host_.showMessage(this, latin1(check.refusal));
        return;
    }
    if (!uploadCards(host_, this, check.cards)) {
        host_.showMessage(this, latin1(kUploadFailed));
        return;
    }
    accept();
}

}  // namespace ostrel::phone
