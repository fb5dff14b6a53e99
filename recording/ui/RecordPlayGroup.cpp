#include "recording/ui/RecordPlayGroup.h"

#include <QGridLayout>
#include <QMetaObject>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <ctime>
#include <vector>

#include "audio/AlertPlayer.h"
#include "audio/AudioSelection.h"
#include "audio/widgets/WaveformDisplay.h"

namespace ostrel::recording::ui {

namespace {

class HostSaveMessages final : public CallEndSaveMessages {
public:
    explicit HostSaveMessages(RecordPlayHost& host) : host_(host) {}
    void showSaveError(std::string_view text) override {
        host_.showMessage(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    }
    void openProgramSettings() override { host_.openProgramSettings(); }

private:
    RecordPlayHost& host_;
};

}  // namespace

RecordPlayGroup::RecordPlayGroup(RecordPlayHost& host, audio::WaveBackend& backend, QWidget* parent)
    : QGroupBox(QStringLiteral("Record/Play"), parent),
      host_(host),
      player_(std::make_unique<RecordingPlayer>(backend, static_cast<PlayerEvents&>(*this),
                                                [] { audio::AlertPlayer::instance().stop(); })) {
    createControls();
    resetControls();
}

RecordPlayGroup::RecordPlayGroup(RecordPlayHost& host, QWidget* parent)
    : RecordPlayGroup(host, audio::processWaveBackend(), parent) {}

RecordPlayGroup::~RecordPlayGroup() {
    // The threads post to this object; they end before it goes.
    player_.reset();
}

void RecordPlayGroup::createControls() {
    auto makeButton = [this](const char* name, const char* text, const char* tip) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(QString::fromLatin1(tip));
        return button;
    };
    rec_ = makeButton("rec", "Rec", "Start/stop recording while talking to your buddy");
    rec_->setCheckable(true);
    play_ = makeButton("play", "Play", "Play a recorded file after loading it.");
    pause_ = makeButton("pause", " | | ", "Pause playing");
    stop_ = makeButton("stop", "Stop", "Stop playing");
    open_ = makeButton("openFile", "Open File", "Load a recorded file for playing.");
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("position"));
    slider_->setRange(0, 100);

    auto* layout = new QGridLayout(this);
    layout->addWidget(rec_, 0, 0);
    // Play and Pause share one place; only one of them shows.
    layout->addWidget(play_, 0, 1);
    layout->addWidget(pause_, 0, 1);
    layout->addWidget(stop_, 0, 2);
    layout->addWidget(open_, 0, 3);
    layout->addWidget(slider_, 1, 0, 1, 4);

    connect(rec_, &QPushButton::toggled, this, &RecordPlayGroup::recToggled);
    connect(play_, &QPushButton::clicked, this, &RecordPlayGroup::startPlayback);
    connect(pause_, &QPushButton::clicked, this, &RecordPlayGroup::pausePlayback);
    connect(stop_, &QPushButton::clicked, this, &RecordPlayGroup::stopPlayback);
    connect(open_, &QPushButton::clicked, this, &RecordPlayGroup::openRecording);
    connect(slider_, &QSlider::sliderReleased, this, &RecordPlayGroup::seekToSlider);
    // A click beside the handle or a key moves the slider without a drag; the value is set
    // after this signal, so the seek follows once it is.
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            QTimer::singleShot(0, this, &RecordPlayGroup::seekToSlider);
        }
    });
}

void RecordPlayGroup::setStatus(const QString& text, bool red) {
    if (audio::WaveformDisplay* display = host_.waveformDisplay()) {
        display->setStatusText(text, red ? QColor(Qt::red) : QColor(Qt::blue));
    }
}

void RecordPlayGroup::resetControls() {
    pause_->hide();
    play_->show();
    play_->setEnabled(false);
    stop_->setEnabled(false);
    slider_->setEnabled(false);
    // During a call Rec keeps its state and no file may be opened.
    if (!callConnected_) {
        if (rec_->isChecked()) {
            const QSignalBlocker quiet(rec_);
            rec_->setChecked(false);
        }
        rec_->setEnabled(false);
        open_->setEnabled(true);
    }
    if (player_->isPlayable()) {
        play_->setEnabled(true);
        slider_->setEnabled(true);
    }
}

void RecordPlayGroup::callBecameActive() {
    closePlayer();
    callConnected_ = true;
    rec_->setEnabled(true);
    open_->setEnabled(false);
}

void RecordPlayGroup::callEnded() {
    const bool wasRecording = rec_->isChecked();
    callConnected_ = false;
    stopPlayback();
    if (wasRecording) {
        setStatus(QString(), true);
    }
}

void RecordPlayGroup::closePlayer() {
    stopPlayback();
    player_->closeFile();
    resetControls();
}

bool RecordPlayGroup::isRecording() const {
    return rec_->isChecked();
}

CallEndSaveResult RecordPlayGroup::saveRecording(const std::string& conferenceGuid,
                                                 ConversationRecorder& recorder,
                                                 std::string* savedPath) {
    HostSaveMessages messages(host_);
    return saveRecordingAtCallEnd(conferenceGuid, recorder, messages, std::time(nullptr),
                                  savedPath);
}

void RecordPlayGroup::recToggled(bool on) {
    if (on) {
        if (recordingsFolder().empty()) {
            host_.showMessage(QString::fromLatin1(kChooseFolderText));
            if (!host_.openProgramSettings()) {
                const QSignalBlocker quiet(rec_);
                rec_->setChecked(false);
                return;
            }
        }
        setStatus(QStringLiteral("Recording"), true);
    } else {
        setStatus(QString(), true);
    }
    host_.setEngineRecording(on);
}

void RecordPlayGroup::openRecording() {
    const QString path =
        host_.chooseRecordingFile(QString::fromLocal8Bit(recordingsFolder().c_str()));
    if (path.isEmpty()) {
        return;
    }
    loadRecording(path);
}

void RecordPlayGroup::loadRecording(const QString& path) {
    if (player_->isPlaying()) {
        stopPlayback();
    }
    const RecordingPlayer::OpenResult result = player_->open(path.toLocal8Bit().toStdString());
    resetControls();
    if (result == RecordingPlayer::OpenResult::Failed) {
        host_.showMessage(QString::fromLatin1(kOpenFailedText.data(), kOpenFailedText.size()));
    } else if (result == RecordingPlayer::OpenResult::Corrupted) {
        host_.showMessage(QString::fromLatin1(kCorruptedText.data(), kCorruptedText.size()));
    }
}

void RecordPlayGroup::startPlayback() {
    if (!player_->isPlayable() || player_->isPlaying()) {
        return;
    }
    stop_->setEnabled(true);
    play_->hide();
    pause_->show();
    open_->setEnabled(false);
    run_.fetch_add(1);
    if (player_->start()) {
        slider_->setValue(0);
    }
    setStatus(QStringLiteral("Playing"), false);
}

void RecordPlayGroup::pausePlayback() {
    pause_->hide();
    play_->show();
    setStatus(QStringLiteral("Paused"), false);
    player_->pause();
}

void RecordPlayGroup::stopPlayback() {
    player_->stop();
    slider_->setValue(0);
    if (audio::WaveformDisplay* display = host_.waveformDisplay()) {
        display->clearDisplay();
    }
    resetControls();
}

void RecordPlayGroup::seekToSlider() {
    player_->seekToPercent(slider_->value());
}

void RecordPlayGroup::showProgress(int percent) {
    slider_->setValue(percent);
}

void RecordPlayGroup::playbackFinished() {
    stopPlayback();
    slider_->setValue(100);
}

void RecordPlayGroup::progress(unsigned percent) {
    const unsigned run = run_.load();
    QMetaObject::invokeMethod(
        this,
        [this, run, percent] {
            if (run == run_.load() && player_->isPlaying()) {
                showProgress(static_cast<int>(percent));
            }
        },
        Qt::QueuedConnection);
}

void RecordPlayGroup::finished() {
    const unsigned run = run_.load();
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            if (run == run_.load() && player_->isPlaying()) {
                playbackFinished();
            }
        },
        Qt::QueuedConnection);
}

void RecordPlayGroup::firstBlockPlayed() {
    QMetaObject::invokeMethod(
        this, [this] { host_.playStartClick(); }, Qt::QueuedConnection);
}

void RecordPlayGroup::blockPlayed(std::span<const int16_t> samples) {
    const unsigned run = run_.load();
    QMetaObject::invokeMethod(
        this,
        [this, run, copy = std::vector<int16_t>(samples.begin(), samples.end())] {
            if (run != run_.load() || !player_->isPlaying()) {
                return;
            }
            if (audio::WaveformDisplay* display = host_.waveformDisplay()) {
                display->showSamples(copy, false);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace ostrel::recording::ui
