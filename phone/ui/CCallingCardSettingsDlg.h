// Telephone calls, window side: "Calling Card Settings", where the user keeps up to three
// calling cards and chooses the default one (or none, to enter a card at each call). Saving
// uploads the rows as the user's card list.
#pragma once

#include <QDialog>

#include <array>

#include "phone/CallingCards.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ostrel::phone {

class PhoneHost;

class CCallingCardSettingsDlg : public QDialog {
    Q_OBJECT

public:
    struct Row {
        QRadioButton* isDefault = nullptr;
        QComboBox* provider = nullptr;
        QLineEdit* account = nullptr;
        QLineEdit* pin = nullptr;
    };

    CCallingCardSettingsDlg(PhoneHost& host, QWidget* parent = nullptr);

    // Not logged in: says so and returns. Otherwise runs the dialog.
    static void run(PhoneHost& host, QWidget* parent);

    const Row& row(size_t i) const { return rows_[i]; }
    QRadioButton* manualChoice() const { return manual_; }
    QPushButton* clearAllButton() const { return clearAll_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* purchaseLink() const { return purchase_; }

    // The rows as the user left them.
    std::vector<CardRow> rowValues() const;

    void clearAll();
    // Checks the rows, uploads them and closes; a refusal or a failed upload keeps it open.
    void save();

private:
    void fill(const std::vector<CallingCard>& cards);
    void providerChanged(size_t i);

    PhoneHost& host_;
    std::array<Row, kCardRows> rows_{};
    QButtonGroup* choices_ = nullptr;
    QRadioButton* manual_ = nullptr;
    QPushButton* clearAll_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* purchase_ = nullptr;
};

}  // namespace ostrel::phone
