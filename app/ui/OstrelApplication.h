// The client's frame: the instance GUID, the single-instance rule, the updater asked to stop,
// the main window made and shown (or kept hidden by "DontShow"), and the way down again when
// the window asks to exit. Main (GUI) thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <string>
#include <vector>

#include "app/ui/COstrelDlg.h"
#include "app/ui/SingleInstance.h"

namespace ostrel::fault {
class CrashHandler;
}

namespace ostrel::app {

class OstrelApplication : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::vector<std::string> arguments;  // without the program name
        COstrelDlg::EngineFactory engineFactory;
        bool useDesktop = true;
        bool useMixer = true;
        bool stopUpdater = true;
        fault::CrashHandler* crashHandler = nullptr;
    };

    explicit OstrelApplication(Options options, QObject* parent = nullptr);
    ~OstrelApplication() override;

    // False when the process is to end at once without a word (another instance runs and
    // has been pulsed).
    bool initialise();

    // SIGTERM and SIGINT take the way of Exit, so a desktop's log-out or a `kill` still stops
    // the engine cleanly. Call once, before the event loop runs.
    void exitOnTerminationSignals();

    const std::string& instanceGuid() const { return instanceGuid_; }
    COstrelDlg* window() const { return window_.get(); }
    bool startedHidden() const { return hidden_; }

signals:
    // The window is gone and the instance released; the event loop may end.
    void finished();

private:
    void shutDown();

    Options options_;
    std::string instanceGuid_;
    bool hidden_ = false;
    SingleInstance instance_;
    std::unique_ptr<COstrelDlg> window_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
};

}  // namespace ostrel::app
