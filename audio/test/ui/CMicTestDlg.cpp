#include "audio/test/ui/CMicTestDlg.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

#include "app/settings/Settings.h"
#include "audio/AlertPlayer.h"
#include "audio/AudioSelection.h"
#include "audio/mixer/VolumeControl.h"
#include "audio/mixer/VolumeScale.h"
#include "audio/widgets/VolumeSliderLink.h"
#include "audio/widgets/WaveformDisplay.h"

namespace ostrel::audio {

namespace {

constexpr const char* kExplanation =
    "Using this option you can test your microphone settings.\nWhen you speak onto the "
    "microphone now, a waveform should be displayed.\nIf you want to hear what you speak, "
    "check the Play it back checkbox.\nIt is recommended that you use a head set during this "
    "test";

// The main window's sliders have the loudest at 0; the dialog's grow with the volume.
int growingPosition(const QAbstractSlider* mainSlider) {
    return mainSlider != nullptr ? kSliderBottom - mainSlider->value() : 0;
}

}  // namespace

CMicTestDlg::CMicTestDlg(MainWindowVolumes main, QWidget* parent, WaveBackend* backend)
    : QDialog(parent), main_(main) {
    setWindowTitle(kTitle);

    waveform_ = new WaveformDisplay(this);
    waveform_->setMinimumSize(320, 120);
    auto* explanation = new QLabel(kExplanation, this);
    explanation->setWordWrap(true);
    playBack_ = new QCheckBox("Play what I speak", this);

    // The microphone level is read from the mixer; the outputs from the main sliders.
    int micPosition = 0;
    if (main_.microphone.control != nullptr && main_.microphone.control->isAvailable()) {
        const long level = main_.microphone.control->getValue();
        micPosition = level < 0 ? 0 : static_cast<int>((level / 256) % 256);
    }
    master_ = makeSlider(main_.master, growingPosition(main_.master.slider));
    wave_ = makeSlider(main_.wave, growingPosition(main_.wave.slider));
    microphone_ = makeSlider(main_.microphone, micPosition);
    connectRelease(master_, main_.master);
    connectRelease(wave_, main_.wave);
    connectRelease(microphone_, main_.microphone);

    auto* volumes = new QGroupBox("Volume Controls", this);
    auto* grid = new QGridLayout(volumes);
    int column = 0;
    for (auto [slider, label] :
         {std::pair{master_, "Master"}, std::pair{wave_, "Spk"}, std::pair{microphone_, "Mic"}}) {
        grid->addWidget(slider, 0, column, Qt::AlignHCenter);
        grid->addWidget(new QLabel(label, volumes), 1, column, Qt::AlignHCenter);
        ++column;
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* finish = buttons->addButton("Finish", QDialogButtonBox::AcceptRole);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    QPushButton* help = buttons->addButton("Help", QDialogButtonBox::HelpRole);
    finish->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(
            QString::fromStdString("http://" + settings::serviceWebHost() +
                                   "/app_links/app_contexthelp.aspx?id=?ClientType=0" + "12")));
    });

    auto* top = new QHBoxLayout;
    top->addWidget(waveform_, 1);
    top->addWidget(volumes);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(explanation);
    layout->addWidget(playBack_);
    layout->addWidget(buttons);

    // Each block reaches this thread as a queued call with its own copy; Qt drops the calls
    // still queued when the dialog is gone, and the threads end before it is.
    AudioTest::BlockSink sink = [this](const AudioTest::Block& block) {
        QMetaObject::invokeMethod(
            this, [this, block] { showBlock(block); }, Qt::QueuedConnection);
    };
    if (backend != nullptr) {
        test_ = std::make_unique<AudioTest>(std::move(sink), *backend,
                                            [] { AlertPlayer::instance().stop(); });
    } else {
        test_ = std::make_unique<AudioTest>(std::move(sink));
    }
    test_->start();
}

CMicTestDlg::~CMicTestDlg() {
    test_->close();
}

QSlider* CMicTestDlg::makeSlider(const MainWindowVolume& line, int position) {
    auto* slider = new QSlider(Qt::Vertical, this);
    slider->setRange(kSliderTop, kSliderBottom);
    slider->setValue(position);
    slider->setEnabled(line.link != nullptr &&
                       (line.slider == nullptr || line.slider->isEnabled()));
    return slider;
}

void CMicTestDlg::connectRelease(QSlider* slider, const MainWindowVolume& line) {
    VolumeSliderLink* link = line.link;
    const auto apply = [slider, link] {
        // Position p here is the main slider's 255 - p, so the volume becomes p * 256.
        if (link != nullptr) {
            link->setPosition(kSliderBottom - slider->value());
        }
    };
    connect(slider, &QSlider::sliderReleased, this, apply);
    // Keys and page clicks move it without a release.
    connect(slider, &QSlider::actionTriggered, this, [slider, apply](int action) {
        if (action != QAbstractSlider::SliderMove) {
            QMetaObject::invokeMethod(slider, apply, Qt::QueuedConnection);
        }
    });
}

void CMicTestDlg::showBlock(const AudioTest::Block& block) {
    waveform_->showSamples(block, true);
    ++shown_;
    test_->loopBack(block, playBack_->isChecked());
}

void CMicTestDlg::done(int result) {
    test_->close();
    QDialog::done(result);
}

}  // namespace ostrel::audio
