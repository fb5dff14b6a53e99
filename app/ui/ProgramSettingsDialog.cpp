#include "app/ui/ProgramSettingsDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

#include "app/settings/Settings.h"
#include "platform/Platform.h"

namespace ostrel::app {

ProgramSettingsDialog::ProgramSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProgramSettingsDialog"));
    setWindowTitle(QStringLiteral("Program Settings"));
    auto* layout = new QVBoxLayout(this);

    autoStartup_ = new QCheckBox(QStringLiteral("Auto Startup"), this);
    layout->addWidget(autoStartup_);

    auto* ringRow = new QHBoxLayout;
    ringRow->addWidget(new QLabel(QStringLiteral("For incoming calls ring for "), this));
    ringTime_ = new QLineEdit(this);
    ringTime_->setMaximumWidth(50);
    ringRow->addWidget(ringTime_);
    ringRow->addWidget(new QLabel(QStringLiteral("Sec"), this));
    ringRow->addStretch();
    layout->addLayout(ringRow);

    autoMM_ = new QCheckBox(
        QStringLiteral("Automatically adjust multimedia settings on startup. (Recommended)"), this);
    layout->addWidget(autoMM_);

    layout->addWidget(new QLabel(
        QStringLiteral("Store the recorded conversations in the following directory"), this));
    auto* folderRow = new QHBoxLayout;
    folder_ = new QLineEdit(this);
    browse_ = new QPushButton(QStringLiteral("Browse"), this);
    folderRow->addWidget(folder_);
    folderRow->addWidget(browse_);
    layout->addLayout(folderRow);

    auto* popups = new QGroupBox(QStringLiteral("Show a pop-up"), this);
    auto* popupLayout = new QVBoxLayout(popups);
    popupOnline_ = new QCheckBox(QStringLiteral("When buddy comes online"), popups);
    popupCongestion_ = new QCheckBox(
        QStringLiteral("Packet loss or network congestion during conversation"), popups);
    popupJoinLeave_ =
        new QCheckBox(QStringLiteral("Buddy connects or disconnects from conversation"), popups);
    popupLayout->addWidget(popupOnline_);
    popupLayout->addWidget(popupCongestion_);
    popupLayout->addWidget(popupJoinLeave_);
    layout->addWidget(popups);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProgramSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProgramSettingsDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://") +
                                       QString::fromStdString(settings::serviceWebHost()) +
                                       QStringLiteral("/app_links/app_contexthelp.aspx")));
    });
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Select Directory for Storing Recorded Conversations."),
            folder_->text());
        if (!chosen.isEmpty()) {
            folder_->setText(chosen);
        }
    });
    load();
}

void ProgramSettingsDialog::load() {
    const settings::ProgramSettingsValues values = settings::loadProgramSettings();
    autoStartup_->setChecked(values.autoStartup);
    ringTime_->setText(QString::number(values.ringTime));
    autoMM_->setChecked(values.autoMMSettings);
    folder_->setText(QString::fromStdString(values.recordingsDirectory));
    popupOnline_->setChecked(values.popupBuddyOnline);
    popupCongestion_->setChecked(values.popupNetworkCongestion);
    popupJoinLeave_->setChecked(values.popupBuddyJoinLeave);
}

void ProgramSettingsDialog::refuse(const QString& text) {
    emit refused(text);
    QMessageBox::warning(this, QStringLiteral("Talvero"), text);
}

void ProgramSettingsDialog::accept() {
    bool number = false;
    const uint ringTime = ringTime_->text().trimmed().toUInt(&number);
    if (!number || ringTime < settings::kMinimumTypedRingTime ||
        ringTime > settings::kMaximumTypedRingTime) {
        refuse(kRingTimeRange);
        ringTime_->setFocus();
        return;
    }
    const std::string folder = folder_->text().toStdString();
    switch (settings::checkRecordingsFolder(folder, probe_)) {
        case settings::RecordingsFolderCheck::Invalid:
            refuse(kInvalidFolder);
            return;
        case settings::RecordingsFolderCheck::FreeSpaceUnknown:
            refuse(kFreeSpaceUnknown);
            return;
        case settings::RecordingsFolderCheck::NotEnoughSpace:
            refuse(kNotEnoughSpace);
            return;
        case settings::RecordingsFolderCheck::Ok:
            break;
    }
    settings::ProgramSettingsValues values;
    values.autoStartup = autoStartup_->isChecked();
    values.ringTime = ringTime;
    values.autoMMSettings = autoMM_->isChecked();
    values.recordingsDirectory = folder;
    values.popupBuddyOnline = popupOnline_->isChecked();
    values.popupNetworkCongestion = popupCongestion_->isChecked();
    values.popupBuddyJoinLeave = popupJoinLeave_->isChecked();
    settings::saveProgramSettings(values, platform::programPath());
    QDialog::accept();
}

}  // namespace ostrel::app
