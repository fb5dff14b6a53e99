// Network configuration: the "Firewall/Router Hardware/NAT  Port Forward Test" dialog over the
// reachability test. GUI thread only; while a test runs, the dialog waits in a nested message
// loop so that Abort and the rest of the window keep working.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

#include "netconfig/ReachabilityTest.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace ostrel::netconfig {

class PortForwardTestDialog : public QDialog {
    Q_OBJECT
public:
    enum class BoxKind { Information, Error };
    // Shows a message box and returns when the user closed it. The default is a QMessageBox;
    // tests give their own.
    using BoxPresenter = std::function<void(QWidget* parent, BoxKind kind, const QString& title,
                                            const QString& text)>;

    // The entry of "&Test Network Settings" and of the Network Settings' Apply buttons:
    // refuses during a call, shows the information box for modes 3 and 4, else loads the
    // settings and runs the dialog modally. True when the dialog was shown.
    static bool openTest(ReachabilityHost& host, QWidget* parent, BoxPresenter boxes = {},
                         ReachabilityOptions options = {});

    PortForwardTestDialog(ReachabilityHost& host, ReachabilitySettings settings,
                          QWidget* parent = nullptr, BoxPresenter boxes = {},
                          ReachabilityOptions options = {});
    ~PortForwardTestDialog() override;

    // "Start Test": runs the whole test and returns when it is over.
    ReachabilityOutcome startTest();
    bool isTestRunning() const { return test_ != nullptr; }

    QListWidget* logList() const { return log_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* abortButton() const { return abort_; }
    QPushButton* closeButton() const { return close_; }
    QString configurationText() const;
    QString proxyText() const;

public slots:
    // Refused while a test runs: the test's loop and socket live on this dialog's stack.
    void reject() override;

private:
    void abortTest();
    void showNewLogLines();
    void showBox(BoxKind kind, const QString& title, const QString& text);

    ReachabilityHost& host_;
    ReachabilitySettings settings_;
    ReachabilityOptions options_;
    BoxPresenter boxes_;
    ReachabilityTest* test_ = nullptr;  // the test in progress, on startTest's stack
    size_t shownLines_ = 0;

    QLabel* configuration_ = nullptr;
    QLabel* proxy_ = nullptr;
    QListWidget* log_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* abort_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace ostrel::netconfig
