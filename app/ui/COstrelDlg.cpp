#include "app/ui/COstrelDlg.h"
#include "app/ui/ConnectingWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/callreport/ui/CMissedCallsDlg.h"
#include "app/settings/RecordingsFolder.h"
#include "app/settings/Settings.h"
#include "app/ui/ClientParts.h"
#include "app/ui/DirectCallPage.h"
#include "app/ui/WindowEngineSink.h"
#include "app/ui/WindowNotices.h"
#include "audio/mixer/CallMixerSettings.h"
#include "audio/mixer/VolumeControl.h"
#include "audio/widgets/VolumeSliderLink.h"
#include "audio/widgets/WaveformDisplay.h"
#include "desktop/CHotkeyHandlerWindow.h"
#include "desktop/CSystemTray.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace ostrel::app {

namespace {

constexpr int kTimer16Ms = 45000;
constexpr int kTimer17Ms = 1000;

const QString kTrayNotice = QStringLiteral(
    "The program will continue to run in the system tray!\nYou will be able to receive calls "
    "as usual. \nIf you want to exit the program completely, select 'Exit' from the tray menu");

QPushButton* makeButton(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setToolTip(tip);
    return button;
}

QSlider* makeSlider(const QString& tip, QWidget* parent) {
    auto* slider = new QSlider(Qt::Vertical, parent);
    slider->setToolTip(tip);
    slider->setRange(0, 255);
    return slider;
}

}  // namespace

COstrelDlg::COstrelDlg(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), notices_(new WindowNotices(this)) {
    setObjectName(QStringLiteral("COstrelDlg"));
    setToolTip(QStringLiteral("Talvero Client"));
    timer16_.setInterval(kTimer16Ms);
    timer17_.setInterval(kTimer17Ms);
    connect(&timer17_, &QTimer::timeout, this, &COstrelDlg::updateActiveTime);
}

COstrelDlg::~COstrelDlg() {
    // The parts' threads end and their pages go while the window is whole.
    parts_.reset();
    platform::trace("Window destruction: hot keys released");
    releaseHotkeys();
    platform::trace("Closing connections...");
    stopEngine();
    platform::trace("All connections closed");
    if (tray_ != nullptr) {
        tray_->removeIcon();
    }
}

void COstrelDlg::initialise(bool hidden) {
    platform::trace("Start-up: hot keys");
    registerHotkeys();
    buildMenus();
    buildControls();
    buildStatusBar();
    setStatusText(1, QStringLiteral("Starting up.. please wait"));

    if (const auto folder = settings::readOptional(settings::value::RecordingsDirectory)) {
        const std::string trimmed = platform::trimmed(*folder);
        if (!trimmed.empty()) {
            settings::createFolderPath(trimmed);
        }
    }

    showPageSet();

    platform::trace("Start-up: mixer");
    if (options_.useMixer) {
        masterControl_ = audio::VolumeControl::onDefaultCard(audio::VolumeKind::MasterOutput);
        speakerControl_ = audio::VolumeControl::onDefaultCard(audio::VolumeKind::WaveOutput);
        microphoneControl_ =
            audio::VolumeControl::onDefaultCard(audio::VolumeKind::MicrophoneLevel);
        if (audio::CallMixerSettings::enabled()) {
            audio::CallMixerSettings::applyToDefaultCard(*microphoneControl_);
        }
        sliderLinks_.push_back(
            std::make_unique<audio::VolumeSliderLink>(*master_, *masterControl_));
        sliderLinks_.push_back(
            std::make_unique<audio::VolumeSliderLink>(*speaker_, *speakerControl_));
        sliderLinks_.push_back(
            std::make_unique<audio::VolumeSliderLink>(*microphone_, *microphoneControl_));
        microphoneLink_ = sliderLinks_.back().get();
    } else {
        master_->setEnabled(false);
        speaker_->setEnabled(false);
        microphone_->setEnabled(false);
    }

    missedCalls_ = new callreport::CMissedCallsDlg(this);
    missedCalls_->hide();
    if (options_.hostParts) {
        platform::trace("Start-up: account, telephone, recording and report parts");
        parts_ = std::make_unique<ClientParts>(*this, options_.instanceGuid, options_.parts);
    }

    platform::trace("Start-up: engine");
    startEngine();

    platform::trace("Start-up: timers");
    timer16_.start();
    timer17_.start();

    buildTray();
    if (hidden) {
        platform::trace("Start-up: window hidden");
        hide();
    } else {
        platform::trace("Start-up: window shown");
        show();
    }
    updateTitle();
}

void COstrelDlg::buildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);

    pages_ = new QTabWidget(central);
    pages_->setObjectName(QStringLiteral("PageArea"));
    const std::pair<Page, QString> frames[] = {{Page::Login, QStringLiteral("Login")},
                                               {Page::Online, QStringLiteral("Online")},
                                               {Page::DirectCall, QStringLiteral("Direct Call")},
                                               {Page::Telephone, QStringLiteral("Telephone")}};
    for (const auto& [which, title] : frames) {
        QWidget* widget = nullptr;
        if (which == Page::DirectCall) {
            directCall_ = new DirectCallPage(*notices_, pages_);
            widget = directCall_;
        } else {
            auto* frame = new QFrame(pages_);
            frame->setFrameShape(QFrame::StyledPanel);
            frame->setObjectName(title + QStringLiteral("Frame"));
            widget = frame;
        }
        pageWidgets_[which] = widget;
        pages_->addTab(widget, title);
    }
    layout->addWidget(pages_, 3);

    auto* right = new QVBoxLayout;
    partyList_ = new QTreeWidget(central);
    partyList_->setObjectName(QStringLiteral("PartyList"));
    partyList_->setColumnCount(2);
    partyList_->setHeaderLabels({QStringLiteral("Connected To"), QStringLiteral("Delay [ms]")});
    partyList_->setRootIsDecorated(false);
    partyList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(partyList_, &QTreeWidget::customContextMenuRequested, this, &COstrelDlg::partyMenu);
    right->addWidget(partyList_, 2);

    display_ = new audio::WaveformDisplay(central);
    display_->setMinimumHeight(60);
    right->addWidget(display_, 1);

    auto* buttons = new QHBoxLayout;
    talk_ = makeButton(QStringLiteral("Talk"), QStringLiteral("Click here to talk with your buddy"),
                       central);
    hangUp_ =
        makeButton(QStringLiteral("Hang Up"),
                   QStringLiteral("Click here to hang up the current call in progress"), central);
    conference_ =
        makeButton(QStringLiteral("Conference"),
                   QStringLiteral("Click here to add a user to this conference"), central);
    buttons->addWidget(talk_);
    buttons->addWidget(hangUp_);
    buttons->addWidget(conference_);
    right->addLayout(buttons);
    connect(talk_, &QPushButton::clicked, this, [this] { talk(false); });
    connect(hangUp_, &QPushButton::clicked, this, [this] { hangUp(true); });
    connect(conference_, &QPushButton::clicked, this, [this] { addToConference(false); });

    auto* lower = new QHBoxLayout;
    auto* volumes = new QGroupBox(QStringLiteral("Volume"), central);
    auto* volumeLayout = new QHBoxLayout(volumes);
    master_ = makeSlider(QStringLiteral("Adjust the master output volume"), volumes);
    speaker_ = makeSlider(QStringLiteral("Adjust the speaker volume"), volumes);
    microphone_ = makeSlider(QStringLiteral("Adjust the microphone volume"), volumes);
    volumeLayout->addWidget(master_);
    volumeLayout->addWidget(speaker_);
    volumeLayout->addWidget(microphone_);
    lower->addWidget(volumes);

    // The recorder and player fill this group with their buttons.
    recordPlay_ = new QGroupBox(QStringLiteral("Record/Play"), central);
    recordPlay_->setObjectName(QStringLiteral("RecordPlayGroup"));
    recordPlay_->setLayout(new QHBoxLayout);
    lower->addWidget(recordPlay_, 1);
    right->addLayout(lower);

    layout->addLayout(right, 2);
    setCentralWidget(central);
    setIdleButtons();
    resize(720, 460);
}

void COstrelDlg::buildStatusBar() {
    for (QLabel*& pane : panes_) {
        pane = new QLabel(this);
        pane->setMinimumWidth(1);
    }
    // Panes 1 and 2 each take a third of the width; pane 0 the rest.
    statusBar()->addWidget(panes_[0], 1);
    statusBar()->addWidget(panes_[1], 1);
    statusBar()->addWidget(panes_[2], 1);
    setStatusText(0, QStringLiteral("Please Login"));
}

QString COstrelDlg::statusText(int pane) const {
    return pane >= 0 && pane < 3 && panes_[pane] != nullptr ? panes_[pane]->text() : QString();
}

void COstrelDlg::setStatusText(int pane, const QString& text) {
    if (pane >= 0 && pane < 3 && panes_[pane] != nullptr) {
        panes_[pane]->setText(text);
    }
}

void COstrelDlg::updateTitle() {
    setWindowTitle(QStringLiteral("Talvero-") +
                   (loggedIn_ ? user_ : QStringLiteral("Please Login")));
}

void COstrelDlg::updateActiveTime() {
    if (!isCurrent() || !callStart_.isValid()) {
        return;
    }
    const qint64 seconds = callStart_.secsTo(QDateTime::currentDateTime());
    setStatusText(2, QString::asprintf("Active %02lld:%02lld:%02lld", seconds / 3600,
                                       (seconds / 60) % 60, seconds % 60));
}

void COstrelDlg::setTimerHandlers(std::function<void()> callClock,
                                  std::function<void()> statusTimer) {
    disconnect(&timer17_, nullptr, this, nullptr);
    disconnect(&timer16_, nullptr, this, nullptr);
    connect(&timer17_, &QTimer::timeout, this, std::move(callClock));
    connect(&timer16_, &QTimer::timeout, this, std::move(statusTimer));
}

COstrelDlg::VolumeLine COstrelDlg::volumeLine(Volume which) const {
    // The links are made in this order when the mixer is used.
    const size_t index = static_cast<size_t>(which);
    VolumeLine line;
    switch (which) {
        case Volume::Master:
            line = {master_, nullptr, masterControl_.get()};
            break;
        case Volume::Speaker:
            line = {speaker_, nullptr, speakerControl_.get()};
            break;
        case Volume::Microphone:
            line = {microphone_, nullptr, microphoneControl_.get()};
            break;
    }
    if (index < sliderLinks_.size()) {
        line.link = sliderLinks_[index].get();
    }
    return line;
}

void COstrelDlg::setPage(Page which, QWidget* widget) {
    QWidget* old = pageWidgets_[which];
    const int index = pages_->indexOf(old);
    const QString title = pages_->tabText(index);
    pages_->removeTab(index);
    pages_->insertTab(index, widget, title);
    pageWidgets_[which] = widget;
    if (old == directCall_) {
        directCall_ = nullptr;
    }
    delete old;
    showPageSet();
}

QWidget* COstrelDlg::page(Page which) const {
    const auto it = pageWidgets_.find(which);
    return it != pageWidgets_.end() ? it->second : nullptr;
}

void COstrelDlg::showPage(Page which) {
    const int index = pages_->indexOf(page(which));
    if (index >= 0) {
        pages_->setTabVisible(index, true);
        pages_->setCurrentIndex(index);
    }
}

void COstrelDlg::showPageSet() {
    // Logged off: the login page and calls by address. Logged in: everything but the login.
    auto visible = [this](Page which, bool on) {
        const int index = pages_->indexOf(page(which));
        if (index >= 0) {
            pages_->setTabVisible(index, on);
        }
    };
    visible(Page::Login, !loggedIn_);
    visible(Page::Online, loggedIn_);
    visible(Page::DirectCall, true);
    visible(Page::Telephone, loggedIn_);
    showPage(loggedIn_ ? Page::Online : Page::Login);
}

void COstrelDlg::loggedIn(const QString& user, const QString& password) {
    loggedIn_ = true;
    user_ = user;
    password_ = password;
    showPageSet();
    setStatusText(0, QStringLiteral("Logged in"));
    updateTitle();
    setEngineUserName(user.toStdString());
}

void COstrelDlg::loggedOut() {
    loggedIn_ = false;
    showPageSet();
    setStatusText(0, QStringLiteral("Please Login"));
    updateTitle();
    setEngineUserName("UNKNOWN");
}

void COstrelDlg::bringToFront() {
    showNormal();
    raise();
    activateWindow();
}

void COstrelDlg::closeEvent(QCloseEvent* event) {
    if (exitFlag_) {
        event->accept();
        return;
    }
    // The close box only hides: calls still come in through the tray's program.
    event->ignore();
    hide();
    if (settings::read(settings::value::DontShowDlgOnMinimize) == 1) {
        return;
    }
    QMessageBox box(QMessageBox::Information, WindowNotices::kApplicationName, kTrayNotice,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("TrayNotice"));
    auto* dontShow = new QCheckBox(QStringLiteral("Dont show this anymore"), &box);
    box.setCheckBox(dontShow);
    emit notices_->boxShown(kTrayNotice);
    if (box.exec() == QMessageBox::Ok) {
        settings::write(settings::value::DontShowDlgOnMinimize, dontShow->isChecked() ? 1 : 0);
    }
}

void COstrelDlg::keyPressEvent(QKeyEvent* event) {
    // Escape hides the window as the close box does, without the notice.
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace ostrel::app
