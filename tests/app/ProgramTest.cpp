// The ostrel program itself, as separate processes: the single-instance pulse, "DontShow",
// and the order of start-up and shutdown as the trace shows it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <memory>

#include "tests/app/TestFolders.h"
#include "tests/app/WindowFixture.h"

namespace {

using apptest::TestFolders;

// One client process with its own settings folder and listening port, traced to stderr.
class Client {
public:
    Client(const std::string& configDir, uint16_t port, const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("OSTREL_CONFIG_DIR", QString::fromStdString(configDir));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("OSTREL_TRACE", "1");
        env.insert("OSTREL_AUDIO", "none");
        env.remove("DISPLAY");
        process_.setProcessEnvironment(env);
        process_.setProgram(OSTREL_CLIENT_PATH);
        process_.setArguments(arguments);
        writePort(configDir, port);
        process_.start();
    }
    ~Client() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    static void writePort(const std::string& configDir, uint16_t port) {
        const QByteArray settings = QStringLiteral(
                                        "\"UseAlternateListeningPort\"=dword:00000001\n"
                                        "\"ListeningPort\"=dword:%1\n"
                                        "\"AutoMMSettings\"=dword:00000000\n")
                                        .arg(port, 8, 16, QChar('0'))
                                        .toLatin1();
        QFile file(QString::fromStdString(configDir) + "/settings.reg");
        if (!file.exists() && file.open(QIODevice::WriteOnly)) {
            file.write(settings);
        }
    }

    // Waits until the trace holds `line`.
    bool waitForTrace(const QString& line, int ms = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!trace().contains(line) && timer.elapsed() < ms) {
            process_.waitForReadyRead(50);
            if (process_.state() == QProcess::NotRunning) {
                break;
            }
        }
        return trace().contains(line);
    }
    QString trace() {
        trace_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return trace_;
    }
    // Index of `line` in the trace, -1 when missing.
    int position(const QString& line) { return trace().indexOf(line); }

    bool finishes(int ms) { return process_.waitForFinished(ms); }
    int exitCode() const { return process_.exitCode(); }
    bool running() const { return process_.state() == QProcess::Running; }
    void terminate() { process_.terminate(); }

private:
    QProcess process_;
    QString trace_;
};

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() { ostrel::test::qtApp(); }
};

TEST_F(ProgramTest, ASecondStartPulsesTheFirstAndEndsWhileAnotherFolderRunsBesideIt) {
    TestFolders first;
    TestFolders other;
    Client a(first.config(), apptest::freeUdpPort(), {"DontShow"});
    ASSERT_TRUE(a.waitForTrace("Start-up: window hidden")) << a.trace().toStdString();

    Client again(first.config(), apptest::freeUdpPort(), {});
    ASSERT_TRUE(again.finishes(5000));
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_FALSE(again.trace().contains("Start-up: hot keys"));  // never made a window
    EXPECT_TRUE(a.waitForTrace("Pulsed by another start: showing the window"));

    // A client with its own settings folder and port runs beside the first.
    Client b(other.config(), apptest::freeUdpPort(), {"dontshow"});
    EXPECT_TRUE(b.waitForTrace("Start-up: window hidden")) << b.trace().toStdString();
    EXPECT_TRUE(b.running());

    a.terminate();
    b.terminate();
    EXPECT_TRUE(a.finishes(10000));
    EXPECT_TRUE(b.finishes(10000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);

    // With the first gone, a new start is the first one again.
    Client c(first.config(), apptest::freeUdpPort(), {"DONTSHOW"});
    EXPECT_TRUE(c.waitForTrace("Start-up: window hidden")) << c.trace().toStdString();
}

TEST_F(ProgramTest, StartsAndEndsInOrder) {
    TestFolders folders;
    Client client(folders.config(), apptest::freeUdpPort(), {});
    ASSERT_TRUE(client.waitForTrace("Start-up: window shown")) << client.trace().toStdString();
    const QStringList startUp = {"Start-up: hot keys",
                                 "Start-up: mixer",
                                 "Start-up: account, telephone, recording and report parts",
                                 "Start-up: engine",
                                 "Starting Server....",
                                 "Start-up: timers",
                                 "Start-up: window shown"};
    int last = -1;
    for (const QString& step : startUp) {
        const int at = client.position(step);
        EXPECT_GT(at, last) << step.toStdString();
        last = at;
    }

    client.terminate();
    ASSERT_TRUE(client.finishes(10000));
    EXPECT_EQ(client.exitCode(), 0);
    const QStringList shutdown = {"Exit: exit flag set",
                                  "Exit: workers stopped",
                                  "Destroying the main window",
                                  "Window destruction: hot keys released",
                                  "Closing connections...",
                                  "Stop Issued",
                                  "All connections closed",
                                  "Single-instance socket closed"};
    last = client.position("Start-up: window shown");
    for (const QString& step : shutdown) {
        const int at = client.position(step);
        EXPECT_GT(at, last) << step.toStdString() << "\n" << client.trace().toStdString();
        last = at;
    }
}

}  // namespace
