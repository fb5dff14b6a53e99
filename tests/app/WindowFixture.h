// Test support for the main window on the offscreen platform: fresh settings, a free
// listening port, file audio (a tone to capture, a file to play into), a window with its real
// engine, peers that are real engines on loopback, and a watcher that answers message boxes
// and keeps every text the window showed.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/settings/Settings.h"
#include "app/ui/COstrelDlg.h"
#include "app/ui/DirectCallPage.h"
#include "app/ui/WindowNotices.h"
#include "engine/NetCore.h"
#include "platform/Platform.h"
#include "platform/SocketAddress.h"
#include "platform/UdpSocket.h"
#include "tests/app/TestFolders.h"
#include "tests/audio/WavFiles.h"
#include "tests/engine/RecordingSink.h"
#include "tests/support/QtTestApp.h"

namespace apptest {

using ostrel::app::COstrelDlg;

// A UDP port on loopback that was free a moment ago.
inline uint16_t freeUdpPort() {
    ostrel::platform::UdpSocket socket;
    if (!socket.open() || !socket.bind(ostrel::platform::SocketAddress::loopback(0))) {
        return 0;
    }
    const auto local = socket.localAddress();
    return local ? local->port : 0;
}

// The audio variables are read once per process, so every test shares one pair of files.
inline void useFileAudio() {
    static ostrel::audio::testing::ScratchFolder* folder = [] {
        auto* f = new ostrel::audio::testing::ScratchFolder;
        ostrel::audio::testing::writeWav(f->file("capture.wav"),
                                         ostrel::audio::testing::pattern(8000 * 30), 8000, 1,
                                         0x010002 /* SF_FORMAT_WAV | SF_FORMAT_PCM_16 */);
        return f;
    }();
    ::setenv("OSTREL_CAPTURE_FILE", folder->file("capture.wav").c_str(), 1);
    ::setenv("OSTREL_PLAYBACK_FILE", folder->file("played.wav").c_str(), 1);
}

// Answers every message box that comes up with `answer` (Yes, Ok or the first button) and
// keeps its text.
class BoxWatcher {
public:
    BoxWatcher() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            // A box that was answered hides at once, though its loop may not have ended yet.
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            texts << box->text();
            captions << box->windowTitle();
            QAbstractButton* button = box->button(answer);
            if (button == nullptr) {
                button = box->button(QMessageBox::Ok);
            }
            if (button == nullptr && !box->buttons().isEmpty()) {
                button = box->buttons().first();
            }
            if (onBox) {
                onBox(box);
            }
            if (button != nullptr) {
                button->click();
            }
        });
        timer_.start();
    }

    bool sawText(const QString& text) const { return texts.contains(text); }
    bool sawTextStarting(const QString& start) const {
        for (const QString& t : texts) {
            if (t.startsWith(start)) {
                return true;
            }
        }
        return false;
    }

    QMessageBox::StandardButton answer = QMessageBox::Yes;
    std::function<void(QMessageBox*)> onBox;
    QStringList texts;
    QStringList captions;

private:
    QTimer timer_;
};

// A second client on loopback: one NetCore with a sink that answers by a policy.
struct Peer {
    explicit Peer(const std::string& name, enginetest::RecordingSink::Answer answer =
                                               enginetest::RecordingSink::Answer::Accept)
        : sink(answer),
          port(freeUdpPort()),
          engine(std::make_unique<ostrel::engine::NetCore>(ostrel::platform::newGuidText(), port,
                                                           sink, name)) {}
    ~Peer() {
        if (engine) {
            engine->stop();
        }
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    enginetest::RecordingSink sink;
    uint16_t port;
    std::unique_ptr<ostrel::engine::NetCore> engine;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ostrel::test::qtApp();
        useFileAudio();
        port_ = freeUdpPort();
        ASSERT_NE(port_, 0);
        ostrel::settings::write(ostrel::settings::value::UseAlternateListeningPort, 1);
        ostrel::settings::write(ostrel::settings::value::ListeningPort, port_);
        window_ = makeWindow();
    }

    void TearDown() override {
        boxes_.answer = QMessageBox::Ok;
        window_.reset();
        ostrel::test::processEventsUntil([] { return false; }, 20);
    }

    std::unique_ptr<COstrelDlg> makeWindow() {
        COstrelDlg::Options options;
        options.instanceGuid = ostrel::platform::newGuidText();
        options.useDesktop = false;
        options.useMixer = false;
        // Every part is hosted, but nothing leaves the machine to learn its own address.
        options.parts.detectOwnAddress = [](unsigned) { return std::string("127.0.0.1"); };
        auto window = std::make_unique<COstrelDlg>(std::move(options));
        QObject::connect(&window->notices(), &ostrel::app::WindowNotices::popupShown,
                         [this](const QString& text) { popups_ << text; });
        window->initialise(true);
        return window;
    }

    // Types the address into the direct-call page and brings it to the front.
    void dial(const QString& address) {
        window_->showPage(COstrelDlg::Page::DirectCall);
        window_->directCallPage()->addressField()->setCurrentText(address);
    }

    bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        return ostrel::test::processEventsUntil(done, ms);
    }

    ostrel::test::QtAppFirst app_;
    TestFolders folders_;
    BoxWatcher boxes_;
    QStringList popups_;
    uint16_t port_ = 0;
    std::unique_ptr<COstrelDlg> window_;
};

}  // namespace apptest
