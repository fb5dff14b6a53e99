// Binds one volume slider to a VolumeControl: range 0..255 with the loudest at the top, the
// slider disabled when the line is unavailable, user moves set the volume, and outside changes
// (reported on the control's watcher thread) move the slider on the GUI thread.
#pragma once

#include <QAbstractSlider>
#include <QObject>
#include <QPointer>

#include "audio/mixer/VolumeControl.h"

namespace ostrel::audio {

class VolumeSliderLink : public QObject {
    Q_OBJECT
public:
    // Both must outlive the link. Registers the control's change callback (one link per
    // control) and shows the current value.
    VolumeSliderLink(QAbstractSlider& slider, VolumeControl& control, QObject* parent = nullptr);
    // Removes the callback; no queued change reaches the slider afterwards.
    ~VolumeSliderLink() override;

    // Reads the mixer and moves the slider there, without setting anything.
    void refresh();
    // Moves the slider and sets the volume it stands for, as a user's move would.
    void setPosition(int position);

signals:
    // After every volume this link set, with the value (0..65535).
    void volumeSet(long value);

private:
    void showValue(long value);
    void applyPosition();

    QPointer<QAbstractSlider> slider_;
    VolumeControl& control_;
    bool updating_ = false;  // the slider is being moved from the mixer's side
};

}  // namespace ostrel::audio
