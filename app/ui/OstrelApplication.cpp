#include "app/ui/OstrelApplication.h"

#include <QCoreApplication>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/StartupOptions.h"
#include "app/ui/Updater.h"
#include "fault/CrashHandler.h"
#include "platform/Platform.h"

namespace ostrel::app {

namespace {

// The pause before the framework's exit, so the engine's last datagrams leave the host.
constexpr auto kExitPause = std::chrono::milliseconds(100);

// Written by the signal handler (only write(2), which is async-signal-safe), read on the GUI
// thread.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

OstrelApplication::OstrelApplication(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

OstrelApplication::~OstrelApplication() {
    window_.reset();
    instance_.release();
}

bool OstrelApplication::initialise() {
    instanceGuid_ = platform::newGuidText();
    if (options_.crashHandler != nullptr) {
        options_.crashHandler->setInstanceGuid(instanceGuid_);
    }
    if (!instance_.claim()) {
        return false;
    }
    if (options_.stopUpdater) {
        stopRunningUpdater(QString::fromStdString(platform::programFolder()));
    }

    hidden_ = commandLineSaysDontShow(options_.arguments);
    COstrelDlg::Options windowOptions;
    windowOptions.instanceGuid = instanceGuid_;
    windowOptions.engineFactory = options_.engineFactory;
    windowOptions.useDesktop = options_.useDesktop;
    windowOptions.useMixer = options_.useMixer;
    window_ = std::make_unique<COstrelDlg>(std::move(windowOptions));
    connect(window_.get(), &COstrelDlg::exitRequested, this, [this] {
        // Out of the handler that asked: the window is destroyed from the event loop.
        QTimer::singleShot(0, this, &OstrelApplication::shutDown);
    });
    connect(&instance_, &SingleInstance::pulsed, this, [this] {
        if (window_ && !window_->exitFlag()) {
            platform::trace("Pulsed by another start: showing the window");
            window_->showNormal();
            window_->raise();
            window_->activateWindow();
        }
    });
    window_->initialise(hidden_);
    return true;
}

void OstrelApplication::exitOnTerminationSignals() {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        platform::trace("Termination signal: exiting");
        if (window_) {
            window_->exitProgram();
        }
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void OstrelApplication::shutDown() {
    platform::trace("Destroying the main window");
    window_.reset();
    instance_.release();
    platform::trace("Single-instance socket closed");
    std::this_thread::sleep_for(kExitPause);
    emit finished();
    QCoreApplication::quit();
}

}  // namespace ostrel::app
