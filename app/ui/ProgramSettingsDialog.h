// The "Program Settings" page: start-up entry, ring time, mixer adjustment, recordings folder
// and the three pop-up switches. Loads with the settings rules, checks the folder before
// anything is written, then saves. GUI thread.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include <functional>
#include <optional>

#include "app/settings/ProgramSettings.h"
#include "app/settings/RecordingsFolder.h"

namespace ostrel::app {

class ProgramSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgramSettingsDialog(QWidget* parent = nullptr);

    // Checks and saves; on a refusal shows its message and stays open.
    void accept() override;

    // Tests give the free space of the folder's file system. The product asks statvfs.
    void setFreeSpaceProbe(settings::FreeSpaceProbe probe) { probe_ = std::move(probe); }

    QCheckBox* autoStartup() const { return autoStartup_; }
    QLineEdit* ringTime() const { return ringTime_; }
    QCheckBox* autoMMSettings() const { return autoMM_; }
    QLineEdit* recordingsDirectory() const { return folder_; }
    QCheckBox* popupBuddyOnline() const { return popupOnline_; }
    QCheckBox* popupNetworkCongestion() const { return popupCongestion_; }
    QCheckBox* popupBuddyJoinLeave() const { return popupJoinLeave_; }
    QPushButton* browseButton() const { return browse_; }

    static inline const QString kInvalidFolder =
        QStringLiteral("The recordings directory specifed is invalid");
    static inline const QString kFreeSpaceUnknown = QStringLiteral(
        "Failed to retrieve the free space for the selected recordings directory's drive");
    static inline const QString kNotEnoughSpace = QStringLiteral(
        "The recordings directory's drive does not have enough space.\nPlease select a "
        "directory in a drive with atleast 100MB free space.");
    static inline const QString kRingTimeRange =
        QStringLiteral("Please enter an integer between 1 and 30.");

signals:
    // Every refusal, with the text shown.
    void refused(const QString& text);

private:
    void load();
    void refuse(const QString& text);

    QCheckBox* autoStartup_;
    QLineEdit* ringTime_;
    QCheckBox* autoMM_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QCheckBox* popupOnline_;
    QCheckBox* popupCongestion_;
    QCheckBox* popupJoinLeave_;
    settings::FreeSpaceProbe probe_ = settings::freeBytesAt;
};

}  // namespace ostrel::app
