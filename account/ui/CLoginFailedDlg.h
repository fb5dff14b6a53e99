// Account pages: the "Talvero Login Failed." dialog shown when the server cannot be reached.
// It counts down from 30 once a second and closes itself as with "OK" at 0. GUI thread only.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace ostrel::account {

class AccountHost;

class CLoginFailedDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCountdownSeconds = 30;
    static constexpr int kHelpTopic = 11;

    explicit CLoginFailedDlg(AccountHost& host, QWidget* parent = nullptr);

    // True when the dialog was closed with "Show Network Settings".
    bool NetworkSettingsChosen() const { return networkSettings_; }
    int Remaining() const { return remaining_; }

    // Tests count a second every `ms` real milliseconds.
    static void setTickIntervalForTesting(int ms) { tickMs_ = ms; }

private:
    void tick();

    AccountHost& host_;
    QLabel* countdown_;
    QTimer timer_;
    int remaining_ = kCountdownSeconds;
    bool networkSettings_ = false;
    static inline int tickMs_ = 1000;
};

}  // namespace ostrel::account
