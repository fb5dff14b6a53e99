// Telephone calls, window side: the Telephone page embedded in the main window. It holds the
// number to call with the recent numbers, the twelve dial keys and the delete key, sends keys
// as telephone digits during a call, and prepares the connection request of a telephone call.
// Window thread only.
#pragma once

#include <QWidget>

#include <string>

#include "engine/ConnectionRequest.h"
#include "phone/RecentNumbers.h"
#include "phone/ui/PhoneHost.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace ostrel::phone {

class CTelephonePage : public QWidget {
    Q_OBJECT

public:
    // Loads the recent numbers.
    CTelephonePage(PhoneHost& host, QWidget* parent = nullptr);
    ~CTelephonePage() override;

    // The handler of the dial keys and of Ctrl+digit: appends `c` and sends it during a call.
    void pressDialKey(char c);
    // Sends `text` as telephone digits to every connected peer, with its key click, when a
    // call is in progress; otherwise nothing.
    void sendDigits(const std::string& text);

    void loadRecentNumbers();
    bool saveRecentNumbers() const;
    void addRecentNumber(const std::string& number);
    const RecentNumbers& recentNumbers() const { return recent_; }

    // `prepareTelephoneCall` with this page's number (none when `quiet`): true when
    // `request` is ready to dial.
    bool prepareTelephoneCall(engine::ConnectionRequest& request, bool quiet = false);

    QString numberText() const;
    void setNumberText(const QString& text);

    QComboBox* numberField() const { return number_; }
    // The button with a dial-pad id (1067, 1080..1090, 1178), or nullptr.
    QPushButton* button(int id) const;
    QLabel* examplesLink() const { return examples_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void deleteLastCharacter();

    PhoneHost& host_;
    RecentNumbers recent_;
    QComboBox* number_ = nullptr;
    QLabel* examples_ = nullptr;
    std::vector<std::pair<int, QPushButton*>> buttons_;
};

}  // namespace ostrel::phone
