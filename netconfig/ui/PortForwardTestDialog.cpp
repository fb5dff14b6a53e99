#include "netconfig/ui/PortForwardTestDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "app/settings/Settings.h"
#include "netconfig/ReachabilityTexts.h"

namespace ostrel::netconfig {

namespace {

QString qt(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

void defaultBox(QWidget* parent, PortForwardTestDialog::BoxKind kind, const QString& title,
                const QString& text) {
    if (kind == PortForwardTestDialog::BoxKind::Error) {
        QMessageBox::critical(parent, title, text);
    } else {
        QMessageBox::information(parent, title, text);
    }
}

}  // namespace

bool PortForwardTestDialog::openTest(ReachabilityHost& host, QWidget* parent, BoxPresenter boxes,
                                     ReachabilityOptions options) {
    if (!boxes) {
        boxes = defaultBox;
    }
    if (host.isCallActive()) {
        boxes(parent, BoxKind::Information, kFirewallTitle, kOnCallRefusal);
        return false;
    }
    ReachabilitySettings settings = ReachabilitySettings::load();
    if (!testableMode(settings.ipType)) {
        boxes(parent, BoxKind::Information, kFirewallTitle, qt(noIncomingCallsText()));
        return false;
    }
    PortForwardTestDialog dialog(host, std::move(settings), parent, boxes, std::move(options));
    dialog.exec();
    return true;
}

PortForwardTestDialog::PortForwardTestDialog(ReachabilityHost& host, ReachabilitySettings settings,
                                             QWidget* parent, BoxPresenter boxes,
                                             ReachabilityOptions options)
    : QDialog(parent),
      host_(host),
      settings_(std::move(settings)),
      options_(std::move(options)),
      boxes_(boxes ? std::move(boxes) : BoxPresenter(defaultBox)) {
    setWindowTitle(qt(dialogTitle(settings_)));

    auto* explanation = new QLabel(qt(explanationText(settings_)), this);
    explanation->setWordWrap(true);
    configuration_ = new QLabel(qt(configurationLine(settings_)), this);
    proxy_ = new QLabel(qt(proxyLine(settings_)), this);
    auto* hint = new QLabel(kModifyHint, this);
    hint->setWordWrap(true);
    log_ = new QListWidget(this);
    log_->setMinimumSize(560, 220);

    start_ = new QPushButton(tr("Start Test"), this);
    abort_ = new QPushButton(tr("Abort"), this);
    help_ = new QPushButton(tr("Help"), this);
    close_ = new QPushButton(tr("Close"), this);
    abort_->setEnabled(false);
    start_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(abort_);
    buttons->addStretch();
    buttons->addWidget(help_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(new QLabel(kCurrentSettingsIntro, this));
    layout->addWidget(configuration_);
    layout->addWidget(proxy_);
    layout->addWidget(hint);
    layout->addWidget(log_, 1);
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, [this] { startTest(); });
    connect(abort_, &QPushButton::clicked, this, [this] { abortTest(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(
            "http://" + settings::serviceWebHost() + "/app_links/app_contexthelp.aspx")));
    });
}

PortForwardTestDialog::~PortForwardTestDialog() = default;

QString PortForwardTestDialog::configurationText() const {
    return configuration_->text();
}
QString PortForwardTestDialog::proxyText() const {
    return proxy_->text();
}

ReachabilityOutcome PortForwardTestDialog::startTest() {
    if (test_ != nullptr) {
        return ReachabilityOutcome::Failed;  // a nested click while one runs
    }
    start_->setEnabled(false);
    close_->setEnabled(false);
    abort_->setEnabled(true);
    log_->clear();
    shownLines_ = 0;

    ReachabilityTest test(host_, settings_, options_);
    test_ = &test;
    const ReachabilityOutcome outcome = test.run([this] {
        showNewLogLines();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    });
    showNewLogLines();
    const std::vector<std::string> lines = test.log().linesFrom(0);
    test_ = nullptr;

    abort_->setEnabled(false);
    start_->setEnabled(true);
    close_->setEnabled(true);

    if (outcome == ReachabilityOutcome::SocketFailed) {
        // The message asks for a restart: the program ends once it has been read.
        showBox(BoxKind::Error, windowTitle(), lines.empty() ? QString() : qt(lines.back()));
        host_.endProgram();
    } else if (outcome == ReachabilityOutcome::TimedOut) {
        showBox(BoxKind::Error, kFailedBoxTitle, qt(timeoutBoxText(settings_)));
    } else if (outcome == ReachabilityOutcome::Received) {
        showBox(BoxKind::Information, windowTitle(), qt(successText(settings_)));
    }
    return outcome;
}

void PortForwardTestDialog::abortTest() {
    if (test_ != nullptr) {
        test_->abort();
        showNewLogLines();
    }
}

void PortForwardTestDialog::reject() {
    if (test_ != nullptr) {
        return;
    }
    QDialog::reject();
}

void PortForwardTestDialog::showNewLogLines() {
    if (test_ == nullptr) {
        return;
    }
    for (const std::string& line : test_->log().linesFrom(shownLines_)) {
        log_->addItem(qt(line));
        ++shownLines_;
    }
    log_->scrollToBottom();
}

void PortForwardTestDialog::showBox(BoxKind kind, const QString& title, const QString& text) {
    boxes_(this, kind, title, text);
}

}  // namespace ostrel::netconfig
