#include "app/ui/OstrelApplication.h"

#include <QCoreApplication>
#include <QTimer>

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
            window_->showNormal();
            window_->raise();
            window_->activateWindow();
        }
    });
    window_->initialise(hidden_);
    return true;
}

void OstrelApplication::shutDown() {
    window_.reset();
    instance_.release();
    std::this_thread::sleep_for(kExitPause);
    emit finished();
    QCoreApplication::quit();
}

}  // namespace ostrel::app
