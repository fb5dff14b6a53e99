// Network configuration: the "Network Settings" dialog, which edits the network mode, the
// listening port and the proxy. GUI thread only; every check and conversion lives in
// NetworkSettingsForm, the dialog only moves text between its controls and the form.
#pragma once

#include <QDialog>

#include "netconfig/NetworkSettings.h"
#include "netconfig/NetworkSettingsForm.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QStackedWidget;

namespace ostrel::netconfig {

// What the dialog needs from the main window.
class NetworkSettingsHost {
public:
    virtual ~NetworkSettingsHost() = default;
    // Asked of the engine under the engine guard: a call is in progress.
    virtual bool CallActive() = 0;
    // The reachability and port-forward test, after an "Apply" button saved the settings.
    virtual void OpenReachabilityTest() = 0;
    // The context help page ("/app_links/app_contexthelp.aspx") on the service's web host.
    virtual void OpenHelp() = 0;
};

class CMyPropertySheet : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { RefusedDuringCall, Cancelled, Saved };

    struct Result {
        Outcome outcome = Outcome::Cancelled;
        // The alternate-port choice or the port changed: the listener must be restarted.
        bool listeningPortChanged = false;
        NetworkSettings saved;
    };

    // Opens the dialog modally (or refuses during a call) and saves on OK.
    static Result Open(NetworkSettingsHost& host, QWidget* parent = nullptr);

    CMyPropertySheet(NetworkSettingsHost& host, const NetworkSettings& settings,
                     QWidget* parent = nullptr);

    // The controls as a form, and back.
    NetworkSettingsForm Form() const;
    void ShowForm(const NetworkSettingsForm& form);
    // OK: checks, asks, saves and closes; false when the dialog stays open.
    bool Confirm();
    const NetworkSettings& Saved() const { return saved_; }

    // Controls, for the window's tests.
    QCheckBox* proxyBox() const { return useProxy_; }
    QLineEdit* proxyHostEdit() const { return proxyHost_; }
    QLineEdit* proxyPortEdit() const { return proxyPort_; }
    QCheckBox* alternatePortBox() const { return alternatePort_; }
    QLineEdit* listeningPortEdit() const { return listeningPort_; }
    QRadioButton* pageButton(ConnectionPage page) const;
    QCheckBox* autoDetectBox() const { return autoDetect_; }
    QLineEdit* firewallEdit() const { return firewallAddress_; }
    QCheckBox* lanCallsBox() const { return lanCalls_; }
    QLineEdit* lanEdit() const { return lanAddress_; }

private:
    void updateEnabled();
    void applyAndTest();

    NetworkSettingsHost& host_;
    NetworkSettings saved_;
    QCheckBox* useProxy_;
    QLineEdit* proxyHost_;
    QLineEdit* proxyPort_;
    QCheckBox* alternatePort_;
    QLineEdit* listeningPort_;
    QRadioButton* direct_;
    QRadioButton* firewall_;
    QRadioButton* privateNetwork_;
    QStackedWidget* pages_;
    QCheckBox* autoDetect_;
    QLineEdit* firewallAddress_;
    QCheckBox* lanCalls_;
    QLineEdit* lanAddress_;
};

}  // namespace ostrel::netconfig
