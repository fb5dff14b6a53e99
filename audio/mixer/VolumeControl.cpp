#include "audio/mixer/VolumeControl.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "audio/mixer/AlsaMixerBackend.h"
#include "audio/mixer/MixerLines.h"
#include "sync/CWorkerThread.h"

namespace ostrel::audio {

namespace {

const char* threadName(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::MicrophoneLevel:
            return "Input Volume Watcher";
        case VolumeKind::WaveOutput:
            return "Wave Output Volume Watcher";
        case VolumeKind::MasterOutput:
            break;
    }
    return "Master Output Volume Watcher";
}

}  // namespace

VolumeControl::VolumeControl(VolumeKind kind, std::unique_ptr<MixerBackend> mixer, int sourceIndex)
    : kind_(kind), mixer_(std::move(mixer)) {
    if (!mixer_) {
        return;
    }
    const std::vector<MixerElementInfo> elements = mixer_->elements();
    switch (kind_) {
        case VolumeKind::MasterOutput:
            element_ = findVolumeElement(elements, "Master", MixerDirection::Playback);
            break;
        case VolumeKind::WaveOutput:
            element_ = findVolumeElement(elements, "PCM", MixerDirection::Playback);
            break;
        case VolumeKind::MicrophoneLevel: {
            direction_ = MixerDirection::Capture;
            const std::vector<int> sources = recordingSources(elements);
            const int index =
                sourceIndex == kFindMicrophone ? microphoneSourceIndex(elements) : sourceIndex;
            if (index >= 0 && index < static_cast<int>(sources.size())) {
                sourceIndex_ = index;
                element_ = sources[index];
            }
            break;
        }
    }
    if (element_ < 0 || !elements[element_].active ||
        !mixer_->volumeRange(element_, direction_, rawMinimum_, rawMaximum_) ||
        rawMaximum_ <= rawMinimum_ || mixer_->channelCount(element_, direction_) <= 0) {
        return;
    }
    available_ = true;
    startWatcher();
}

std::unique_ptr<VolumeControl> VolumeControl::onDefaultCard(VolumeKind kind) {
    return std::make_unique<VolumeControl>(kind, AlsaMixerBackend::open());
}

VolumeControl::~VolumeControl() {
    if (watcher_) {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        watcher_->Wait(sync::kInfinite);
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void VolumeControl::startWatcher() {
    mixerFds_ = mixer_->pollDescriptors();
    if (mixerFds_.empty()) {
        return;  // a mixer without events: values are still read and set, just not followed
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        return;
    }
    watcher_ = std::make_unique<sync::CWorkerThread>([this](void*) { return watch(); }, nullptr,
                                                     threadName(kind_));
    if (!watcher_->Start(false)) {
        watcher_.reset();
    }
}

uint32_t VolumeControl::watch() {
    std::vector<pollfd> fds = mixerFds_;
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (;;) {
        for (pollfd& f : fds) {
            f.revents = 0;
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        if (fds.back().revents != 0) {
            return 0;
        }
        std::vector<int> changed;
        long value = -1;
        bool mine = false;
        bool gone = false;
        {
            std::lock_guard lock(mixerMutex_);
            if (!mixer_->handleEvents(std::span(fds.data(), fds.size() - 1), changed)) {
                gone = true;
                available_ = false;
            } else if (std::find(changed.begin(), changed.end(), element_) != changed.end()) {
                mine = true;
                value = valueLocked();
            }
        }
        if (gone) {
            return 0;  // the card went away: nothing more will change
        }
        if (mine) {
            std::lock_guard lock(callbackMutex_);
            if (callback_) {
                callback_(value, context_);
            }
        }
    }
}

bool VolumeControl::isAvailable() const {
    return available_;
}

int VolumeControl::enable() {
    std::lock_guard lock(mixerMutex_);
    if (!available_) {
        return 0;
    }
    const std::vector<MixerElementInfo> elements = mixer_->elements();
    if (!elements[element_].switchable(direction_)) {
        return 1;  // a line without a switch is always on
    }
    return mixer_->setSwitch(element_, direction_, -1, true) ? 1 : 0;
}

int VolumeControl::disable() {
    std::lock_guard lock(mixerMutex_);
    if (!available_) {
        return 0;
    }
    const std::vector<MixerElementInfo> elements = mixer_->elements();
    if (!elements[element_].switchable(direction_)) {
        return 0;
    }
    return mixer_->setSwitch(element_, direction_, -1, false) ? 1 : 0;
}

long VolumeControl::minimum() const {
    return available_ ? 0 : -1;
}

long VolumeControl::maximum() const {
    return available_ ? kScaleMaximum : -1;
}

long VolumeControl::stepCount() const {
    return available_ ? rawMaximum_ - rawMinimum_ + 1 : 0;
}

long VolumeControl::toScale(long raw) const {
    raw = std::clamp(raw, rawMinimum_, rawMaximum_);
    return std::lround(static_cast<double>(raw - rawMinimum_) * kScaleMaximum /
                       static_cast<double>(rawMaximum_ - rawMinimum_));
}

long VolumeControl::toRaw(long value) const {
    return rawMinimum_ +
           std::lround(static_cast<double>(value) * static_cast<double>(rawMaximum_ - rawMinimum_) /
                       kScaleMaximum);
}

long VolumeControl::valueLocked() {
    long raw = 0;
    if (!available_ || !mixer_->getVolume(element_, direction_, 0, raw)) {
        return -1;
    }
    if (lastSetValue_ >= 0 && raw == lastSetRaw_) {
        return lastSetValue_;
    }
    return toScale(raw);
}

long VolumeControl::getValue() {
    std::lock_guard lock(mixerMutex_);
    return valueLocked();
}

int VolumeControl::setValue(long value) {
    std::lock_guard lock(mixerMutex_);
    if (!available_ || value < 0 || value > kScaleMaximum) {
        return 0;
    }
    const long raw = toRaw(value);
    if (!mixer_->setVolume(element_, direction_, raw)) {
        return 0;
    }
    lastSetValue_ = value;
    lastSetRaw_ = raw;
    return 1;
}

void VolumeControl::setChangeCallback(ChangeCallback callback, void* context) {
    std::lock_guard lock(callbackMutex_);
    callback_ = std::move(callback);
    context_ = context;
}

}  // namespace ostrel::audio
