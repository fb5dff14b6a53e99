#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "reporter/CFerruleDlg.h"
#include "reporter/CReportViewerDlg.h"
#include "reporter/CSendingStatusDlg.h"
#include "reporter/ClientLauncher.h"
#include "tests/reporter/ClientMarker.h"
#include "tests/reporter/ReportPageServer.h"
#include "tests/reporter/TempFolder.h"
#include "tests/support/QtTestApp.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/ServiceRequests.h"

using namespace ostrel::reporter;
using namespace ostrel::reporter::test;
using ostrel::webservice::test::ScopedConfigDir;

namespace {

constexpr const char* kUnable = "Unable to contact the server. Please try again later.";
const std::string kReportText = "first line\r\nsecond line\r\n";

// Calls `visit` with every visible top-level window every few milliseconds while it lives,
// nested event loops (message boxes, the send loop) included.
class WindowWatcher {
public:
    explicit WindowWatcher(std::function<void(QWidget*)> visit) : visit_(std::move(visit)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible()) {
                    visit_(window);
                }
            }
        });
        timer_.start(5);
    }

private:
    std::function<void(QWidget*)> visit_;
    QTimer timer_;
};

struct ShownBox {
    QString text;
    QMessageBox::Icon icon;
};

// Answers every message box with its first button and remembers what it said.
class MessageBoxCloser {
public:
    MessageBoxCloser()
        : watcher_([this](QWidget* window) {
              if (auto* box = qobject_cast<QMessageBox*>(window)) {
                  boxes.push_back({box->text(), box->icon()});
                  box->buttons().front()->click();
              }
          }) {}
    std::vector<ShownBox> boxes;

private:
    WindowWatcher watcher_;
};

class FerruleDlgTest : public ::testing::Test {
protected:
    ReporterSwitches switches() const {
        ReporterSwitches s;
        s.reportFile = "/unused.RPT";
        s.version = "6.0";
        s.build = "1234";
        s.server = page_.HostText();
        s.serverPath = "app2/logproblem.aspx";
        s.application = "/opt/talvero/ostrel";
        s.instanceGuid = "0a1b2c3d-0000-4000-8000-00000000abcd";
        return s;
    }
    FerruleDialogOptions options() {
        FerruleDialogOptions o;
        o.startClient = [this](const std::string& path) {
            started_.push_back(path);
            return true;
        };
        return o;
    }
    std::string expectedBody() const {
        const ReporterSwitches s = switches();
        return ostrel::webservice::BuildProblemReportRequest(
            {s.instanceGuid, s.version, s.build, kReportText});
    }

    ostrel::test::QtAppFirst app_;
    ScopedConfigDir config_;
    ReportPageServer page_;
    std::vector<std::string> started_;
};

TEST_F(FerruleDlgTest, ShowsTheTextsOfTheDialog) {
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Talvero - Send problem report");
    EXPECT_EQ(dialog.headline()->text(),
              "Talvero Client encountered a problem and had to be closed");
    EXPECT_EQ(dialog.headline()->font().weight(), 600);
    EXPECT_EQ(dialog.restartBox()->text(), "Restart Talvero Client");
    EXPECT_TRUE(dialog.restartBox()->isChecked());
    EXPECT_EQ(dialog.sendButton()->text(), "Send Problem Report");
    EXPECT_TRUE(dialog.sendButton()->isDefault());
    EXPECT_EQ(dialog.dontSendButton()->text(), "Dont Send");
    EXPECT_EQ(dialog.reportLink()->text(), "here");

    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("We are sorry for the inconvinence. "));
    EXPECT_TRUE(
        texts.contains("Please report this problem to Talvero by clicking on Send Error Report."));
    EXPECT_TRUE(texts.contains("To see what this report contains click "));
}

TEST_F(FerruleDlgTest, TheLinkIsUnderlinedVerdanaInDarkBlueAndBrightensUnderTheMouse) {
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    CHyperlinkLabel* link = dialog.reportLink();
    EXPECT_EQ(link->font().family(), "Verdana");
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->currentColor(), QColor(0, 0, 0xAA));

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->currentColor(), QColor(0, 0, 0xFF));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->currentColor(), QColor(0, 0, 0xAA));
}

TEST_F(FerruleDlgTest, DontSendNeverContactsTheServerAndStillRestarts) {
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    QTest::mouseClick(dialog.dontSendButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(started_, std::vector<std::string>{"/opt/talvero/ostrel"});
    ostrel::test::processEventsUntil([] { return false; }, 200);
    EXPECT_EQ(page_.PostCount(), 0u);
}

TEST_F(FerruleDlgTest, DontSendWithTheBoxClearedStartsNothing) {
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    dialog.restartBox()->click();
    ASSERT_FALSE(dialog.restartBox()->isChecked());
    QTest::mouseClick(dialog.dontSendButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(page_.PostCount(), 0u);
}

TEST_F(FerruleDlgTest, EscapeAnswersLikeDontSend) {
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(started_.size(), 1u);
    EXPECT_EQ(page_.PostCount(), 0u);
}

TEST_F(FerruleDlgTest, SendPostsTheReportShowsTheRepliedMessageAndRestarts) {
    page_.SetReply("+OKYour report is number 17.");
    MessageBoxCloser closer;
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);

    ASSERT_EQ(page_.PostCount(), 1u);
    EXPECT_EQ(page_.Posts().front().path, "/app2/logproblem.aspx");
    EXPECT_EQ(page_.Posts().front().body, expectedBody());
    ASSERT_EQ(closer.boxes.size(), 1u);
    EXPECT_EQ(closer.boxes.front().text, "Your report is number 17.");
    EXPECT_EQ(started_, std::vector<std::string>{"/opt/talvero/ostrel"});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

class RefusedSendTest : public FerruleDlgTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedSendTest, AReplyNotStartingWithPlusShowsUnableAndStillRestarts) {
    page_.SetReply(GetParam());
    MessageBoxCloser closer;
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    EXPECT_EQ(page_.PostCount(), 1u);
    ASSERT_EQ(closer.boxes.size(), 1u);
    EXPECT_EQ(closer.boxes.front().text, kUnable);
    EXPECT_EQ(closer.boxes.front().icon, QMessageBox::Warning);
    EXPECT_EQ(started_.size(), 1u);
    EXPECT_FALSE(dialog.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Replies, RefusedSendTest,
                         ::testing::Values("", "-Not stored", "OK+", "<html>error</html>"));

TEST_F(FerruleDlgTest, AServerThatIsDownShowsUnable) {
    ReporterSwitches s = switches();
    {
        ReportPageServer gone;
        s.server = gone.HostText();
    }
    MessageBoxCloser closer;
    CFerruleDlg dialog(s, kReportText, options());
    dialog.show();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    ASSERT_EQ(closer.boxes.size(), 1u);
    EXPECT_EQ(closer.boxes.front().text, kUnable);
    EXPECT_EQ(started_.size(), 1u);
}

TEST_F(FerruleDlgTest, WhileSendingTheStatusWindowShowsAndTheDialogTakesNoSecondAction) {
    page_.HoldReplies();
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();

    QString statusText;
    bool statusFrameless = false;
    QPoint statusCentre;
    bool sendEnabled = true;
    bool dontSendEnabled = true;
    int secondSends = 0;
    MessageBoxCloser closer;
    QElapsedTimer sinceClick;
    sinceClick.start();
    WindowWatcher whileHeld([&](QWidget* window) {
        if (sinceClick.elapsed() > 10000) {
            page_.Release();  // never seen: let the send end so the test fails instead of hanging
        }
        auto* status = qobject_cast<CSendingStatusDlg*>(window);
        if (status == nullptr || page_.PostCount() == 0 || statusText.size() > 0) {
            return;
        }
        statusText = status->textLabel()->text();
        statusFrameless = status->windowFlags().testFlag(Qt::FramelessWindowHint);
        statusCentre = status->frameGeometry().center();
        sendEnabled = dialog.sendButton()->isEnabled();
        dontSendEnabled = dialog.dontSendButton()->isEnabled();
        // Events keep flowing to the dialog, but neither a second send nor a close acts now.
        dialog.sendReport();
        dialog.dontSend();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        secondSends = static_cast<int>(page_.PostCount()) - 1;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(started_.empty());
        page_.Release();
    });
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);

    EXPECT_EQ(statusText, "Sending the problem report. Please wait...");
    EXPECT_TRUE(statusFrameless);
    EXPECT_LE((statusCentre - dialog.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_FALSE(sendEnabled);
    EXPECT_FALSE(dontSendEnabled);
    EXPECT_EQ(secondSends, 0);
    EXPECT_EQ(page_.PostCount(), 1u);
    EXPECT_EQ(started_.size(), 1u);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(qobject_cast<CSendingStatusDlg*>(window) != nullptr && window->isVisible());
    }
}

TEST_F(FerruleDlgTest, TheLinkOpensTheReportViewerWithTheReportText) {
    QString title;
    QString text;
    bool readOnly = false;
    WindowWatcher viewerCloser([&](QWidget* window) {
        if (auto* viewer = qobject_cast<CReportViewerDlg*>(window)) {
            title = viewer->windowTitle();
            text = viewer->reportEdit()->toPlainText();
            readOnly = viewer->reportEdit()->isReadOnly();
            EXPECT_EQ(viewer->closeButton()->text(), "Close");
            viewer->closeButton()->click();
        }
    });
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    QTest::mouseClick(dialog.reportLink(), Qt::LeftButton);
    EXPECT_EQ(title, "Problem Report");
    EXPECT_EQ(text, "first line\nsecond line\n");
    EXPECT_TRUE(readOnly);
    EXPECT_TRUE(dialog.isVisible());  // the viewer closes, the dialog stays
    EXPECT_EQ(page_.PostCount(), 0u);
}

TEST_F(FerruleDlgTest, ALinkPressReleasedOffTheLinkOpensNothing) {
    int viewers = 0;
    WindowWatcher viewerCloser([&](QWidget* window) {
        if (auto* viewer = qobject_cast<CReportViewerDlg*>(window)) {
            ++viewers;
            viewer->closeButton()->click();
        }
    });
    CFerruleDlg dialog(switches(), kReportText, options());
    dialog.show();
    CHyperlinkLabel* link = dialog.reportLink();
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(link->width() + 20, 1));
    ostrel::test::processEventsUntil([] { return false; }, 50);
    EXPECT_EQ(viewers, 0);
}

// The whole way with the real launcher: the client started from the -a path runs.
TEST_F(FerruleDlgTest, TheClientIsStartedAgainFromItsPath) {
    TempFolder folder;
    const std::string marker = folder.Path() + "/started";
    ::setenv("FERRULE_TEST_MARKER", marker.c_str(), 1);
    ReporterSwitches s = switches();
    s.application = FAKE_CLIENT_PATH;
    pid_t pid = -1;
    FerruleDialogOptions o;
    o.startClient = [&](const std::string& path) {
        pid = startClient(path);
        return pid > 0;
    };
    page_.SetReply("+OKthanks");
    MessageBoxCloser closer;
    CFerruleDlg dialog(s, kReportText, o);
    dialog.show();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    ASSERT_GT(pid, 0);
    auto seen = waitForMarker(marker, 10000);
    EXPECT_EQ(reap(pid), 0);
    ::unsetenv("FERRULE_TEST_MARKER");
    EXPECT_EQ(seen["argv0"], FAKE_CLIENT_PATH);
    EXPECT_EQ(page_.PostCount(), 1u);
}

}  // namespace
