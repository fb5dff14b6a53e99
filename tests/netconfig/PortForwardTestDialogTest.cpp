// The port-forward test dialog on the offscreen platform, against a real service and a real
// engine that the test ends and restarts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/settings/Settings.h"
#include "netconfig/ui/PortForwardTestDialog.h"
#include "tests/netconfig/ReachabilityFixture.h"
#include "tests/support/QtTestApp.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/SilentListener.h"

using namespace ostrel;
using namespace ostrel::netconfig;
using namespace ostrel::netconfig::test;

namespace {

struct Box {
    PortForwardTestDialog::BoxKind kind;
    QString title;
    QString text;
    bool dialogOpen;  // a test dialog existed when the box came up
};

bool testDialogExists() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<PortForwardTestDialog*>(widget) != nullptr && widget->isVisible()) {
            return true;
        }
    }
    return false;
}

class PortForwardTestDialogTest : public ::testing::Test {
protected:
    PortForwardTestDialog::BoxPresenter recorder() {
        return [this](QWidget*, PortForwardTestDialog::BoxKind kind, const QString& title,
                      const QString& text) {
            boxes_.push_back({kind, title, text, testDialogExists()});
        };
    }

    ReachabilitySettings settingsFor(uint32_t ipType) {
        ReachabilitySettings settings;
        settings.ipType = ipType;
        settings.listeningPort = port_;
        return settings;
    }

    QStringList logLines(const PortForwardTestDialog& dialog) {
        QStringList lines;
        for (int i = 0; i < dialog.logList()->count(); ++i) {
            lines << dialog.logList()->item(i)->text();
        }
        return lines;
    }

    QString status() const { return QString::fromStdString(host_.status); }
    QString listening() const { return QString("Listening UDP Port: %1").arg(port_); }

    ostrel::test::QtAppFirst app_;
    webservice::test::ScopedConfigDir config_;
    uint16_t port_ = freeUdpPort();
    EngineHost host_{port_};
    std::vector<Box> boxes_;
};

}  // namespace

TEST_F(PortForwardTestDialogTest, ModesWithoutIncomingCallsShowTheBoxAndNoDialog) {
    for (uint32_t mode : {3u, 4u}) {
        boxes_.clear();
        ASSERT_TRUE(settings::write(settings::value::IPType, mode));
        EXPECT_FALSE(PortForwardTestDialog::openTest(host_, nullptr, recorder()));
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].kind, PortForwardTestDialog::BoxKind::Information);
        EXPECT_TRUE(boxes_[0].text.startsWith(
            "You have currently selected the following option in the software's Network "
            "Settings\r\n"));
        EXPECT_TRUE(boxes_[0].text.endsWith(
            "You wont be able to test for incoming calls with this configuration."));
        EXPECT_FALSE(boxes_[0].dialogOpen);
    }
    EXPECT_EQ(host_.events, std::vector<std::string>{"start engine"});  // never touched

    boxes_.clear();
    ASSERT_TRUE(settings::write(settings::value::IPType, 0));
    host_.callActive = true;
    EXPECT_FALSE(PortForwardTestDialog::openTest(host_, nullptr, recorder()));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "You cannot do this test while you are on a call");
}

TEST_F(PortForwardTestDialogTest, OpensWithTheStoredSettings) {
    ASSERT_TRUE(settings::write(settings::value::IPType, 2));
    ASSERT_TRUE(settings::write(settings::value::ConfiguredIP, "fw.example.org"));
    ASSERT_TRUE(settings::write(settings::value::UseHttpProxy, 1));
    ASSERT_TRUE(settings::write(settings::value::HttpProxyName, "proxy.example.org"));
    ASSERT_TRUE(settings::write(settings::value::HttpProxyPort, 3128));
    QString title;
    QString configuration;
    QString proxy;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PortForwardTestDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        configuration = dialog->configurationText();
        proxy = dialog->proxyText();
        dialog->closeButton()->click();
    });
    EXPECT_TRUE(PortForwardTestDialog::openTest(host_, nullptr, recorder()));
    EXPECT_EQ(title, "Firewall/Router Hardware/NAT  Port Forward Test");
    EXPECT_EQ(configuration, "Using the firewall - fw.example.org");
    EXPECT_EQ(proxy, "Using HTTP proxy:proxy.example.org port:3128");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(PortForwardTestDialogTest, SuccessIsLoggedAndBoxedAndTheEngineListensAgain) {
    TestService service;
    PortForwardTestDialog dialog(host_, settingsFor(0), nullptr, recorder(), {service.host()});
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Test if your computer is reachable by others");
    dialog.startButton()->click();

    const QStringList lines = logLines(dialog);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "The network settings that you have configured are as follows:");
    EXPECT_TRUE(lines.contains("The packet was received successfully"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, PortForwardTestDialog::BoxKind::Information);
    EXPECT_EQ(boxes_[0].text, "Your computer is reachable and can receive incoming calls.");
    EXPECT_TRUE(dialog.startButton()->isEnabled());
    EXPECT_TRUE(dialog.closeButton()->isEnabled());
    EXPECT_FALSE(dialog.abortButton()->isEnabled());
    EXPECT_EQ(status(), listening());
}

TEST_F(PortForwardTestDialogTest, TimeOutShowsTheFirewallBox) {
    TestService silent(0);
    PortForwardTestDialog dialog(host_, settingsFor(1), nullptr, recorder(), {silent.host()});
    dialog.show();
    bool buttonsOffDuringTest = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (dialog.isTestRunning()) {
            buttonsOffDuringTest = !dialog.startButton()->isEnabled() &&
                                   !dialog.closeButton()->isEnabled() &&
                                   dialog.abortButton()->isEnabled();
            dialog.reject();  // the close box is refused while the test runs
        }
    });
    watch.start(50);
    EXPECT_EQ(dialog.startTest(), ReachabilityOutcome::TimedOut);
    watch.stop();
    EXPECT_TRUE(buttonsOffDuringTest);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, PortForwardTestDialog::BoxKind::Error);
    EXPECT_EQ(boxes_[0].title, "Test Failed");
    const QString port = QString::number(port_);
    EXPECT_TRUE(boxes_[0].text.contains("forward UDP packets on port " + port));
    EXPECT_TRUE(boxes_[0].text.contains("blocking the UDP port " + port + "?"));
    EXPECT_TRUE(logLines(dialog).contains("Response timed out.. Please try again."));
    EXPECT_EQ(status(), listening());
}

TEST_F(PortForwardTestDialogTest, AbortDuringTheRequestCancels) {
    webservice::test::SilentListener hanging;
    webservice::test::LocalHttpServer directory([&](const httplib::Request&,
                                                    httplib::Response& response) {
        std::string text = "[OSTREL]\r\nCURRENT IP=" + hanging.HostText() + "\r\nPATH=app2\r\n";
        for (const char* key :
             {"logmein_file", "logmeoff_file", "iamup_file", "syncblist_file", "getuserlist_file",
              "iamtalking_file", "fwtest_file", "sync_callingcards_file", "log_problem_file"}) {
            text += std::string(key) + "=" + key + ".aspx\r\n";
        }
        response.set_content(text, "text/plain");
    });
    PortForwardTestDialog dialog(host_, settingsFor(0), nullptr, recorder(),
                                 {directory.HostText()});
    dialog.show();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (hanging.Accepted() > 0 && dialog.abortButton()->isEnabled()) {
            dialog.abortButton()->click();
        }
    });
    watch.start(20);
    EXPECT_EQ(dialog.startTest(), ReachabilityOutcome::Cancelled);
    watch.stop();
    const QStringList lines = logLines(dialog);
    const auto attempting = lines.indexOf("Attempting to cancel...");
    ASSERT_GE(attempting, 0);
    EXPECT_EQ(lines.last(), "Cancelled by the user");
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(status(), listening());
}

TEST_F(PortForwardTestDialogTest, AHeldPortShowsTheRestartMessageAndEndsTheProgram) {
    TestService service;
    host_.endEngine();
    platform::UdpSocket other;
    ASSERT_TRUE(other.bind(platform::SocketAddress{platform::SocketAddress::kAny, port_}));
    PortForwardTestDialog dialog(host_, settingsFor(0), nullptr, recorder(), {service.host()});
    EXPECT_EQ(dialog.startTest(), ReachabilityOutcome::SocketFailed);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, PortForwardTestDialog::BoxKind::Error);
    EXPECT_EQ(boxes_[0].text, "Failed to bind socket. Please restart the software and try again");
    EXPECT_EQ(host_.events.back(), "end program");
    EXPECT_TRUE(dialog.startButton()->isEnabled());
    EXPECT_TRUE(dialog.closeButton()->isEnabled());
}
