// Telephone calls, window side: "Enter Calling Card to Use", asked when a telephone call has
// no default card. The card entered is used for this call and, if the user wishes, uploaded
// as the only card for future calls.
#pragma once

#include <QDialog>

#include "phone/CallingCards.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace ostrel::phone {

class PhoneHost;

class CEnterCallingCardDlg : public QDialog {
    Q_OBJECT

public:
    CEnterCallingCardDlg(PhoneHost& host, QWidget* parent = nullptr);

    // Not logged in: says so and returns false. Otherwise runs the dialog; true with the card
    // and its provider when the user confirmed one.
    static bool ask(PhoneHost& host, QWidget* parent, CallingCard& card, Provider& provider);

    const CallingCard& card() const { return card_; }
    const Provider& provider() const { return provider_; }

    QComboBox* providerList() const { return providers_; }
    QLineEdit* accountField() const { return account_; }
    QLineEdit* pinField() const { return pin_; }
    QCheckBox* futureCalls() const { return future_; }
    QPushButton* purchaseButton() const { return purchase_; }

public slots:
    void accept() override;

private:
    PhoneHost& host_;
    QComboBox* providers_ = nullptr;
    QLineEdit* account_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QCheckBox* future_ = nullptr;
    QPushButton* purchase_ = nullptr;
    CallingCard card_;
    Provider provider_;
};

}  // namespace ostrel::phone
