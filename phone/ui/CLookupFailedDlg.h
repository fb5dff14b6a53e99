// Telephone calls, window side: the dialog shown when no lookup host named a gateway, with
// the likely causes and the buttons OK, Help and Cancel.
#pragma once

#include <QDialog>

namespace ostrel::phone {

class PhoneHost;

inline constexpr const char* kLookupFailedText =
    "Call cannot be completed now. Please try again momentarily";
inline constexpr const char* kSupportAddress = "support@talvero.example";

class CLookupFailedDlg : public QDialog {
    Q_OBJECT

public:
    CLookupFailedDlg(PhoneHost& host, QWidget* parent = nullptr);

    // Every line of the dialog's text, top to bottom.
    static QStringList lines();
};

}  // namespace ostrel::phone
