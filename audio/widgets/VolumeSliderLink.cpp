#include "audio/widgets/VolumeSliderLink.h"

#include "audio/mixer/VolumeScale.h"

namespace ostrel::audio {

VolumeSliderLink::VolumeSliderLink(QAbstractSlider& slider, VolumeControl& control, QObject* parent)
    : QObject(parent), slider_(&slider), control_(control) {
    slider.setRange(kSliderTop, kSliderBottom);
    if (slider.orientation() == Qt::Vertical) {
        // Position 0 (loudest) at the top, and the Up key moving towards it.
        slider.setInvertedAppearance(true);
        slider.setInvertedControls(true);
    }
    slider.setEnabled(control.isAvailable());
    // A drag sets the volume once, on release; keys and the wheel set it at each step.
    connect(&slider, &QAbstractSlider::sliderReleased, this, &VolumeSliderLink::applyPosition);
    connect(&slider, &QAbstractSlider::valueChanged, this, [this] {
        if (!updating_ && slider_ && !slider_->isSliderDown()) {
            applyPosition();
        }
    });
    control_.setChangeCallback(
        [this](long value, void*) {
            // Watcher thread: hand the value to the GUI thread; this object's destructor
            // removes the callback first, so `this` is alive while the call is queued, and
            // Qt drops queued calls to a deleted object.
            QMetaObject::invokeMethod(
                this, [this, value] { showValue(value); }, Qt::QueuedConnection);
        },
        nullptr);
    refresh();
}

VolumeSliderLink::~VolumeSliderLink() {
    control_.setChangeCallback(nullptr, nullptr);
}

void VolumeSliderLink::refresh() {
    if (control_.isAvailable()) {
        showValue(control_.getValue());
    }
}

void VolumeSliderLink::setPosition(int position) {
    if (!slider_) {
        return;
    }
    updating_ = true;
    slider_->setValue(position);
    updating_ = false;
    applyPosition();
}

void VolumeSliderLink::showValue(long value) {
    if (!slider_ || value < 0) {
        return;  // a failed read leaves the slider where it is
    }
    updating_ = true;
    slider_->setValue(sliderPositionForVolume(value));
    updating_ = false;
}

void VolumeSliderLink::applyPosition() {
    if (!slider_ || !control_.isAvailable()) {
        return;
    }
    const long value = volumeForSliderPosition(slider_->value());
    if (control_.setValue(value)) {
        emit volumeSet(value);
    }
}

}  // namespace ostrel::audio
