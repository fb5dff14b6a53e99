// One volume of the desktop's mixer: the master output, the wave output or the microphone
// recording level, on values 0..65535 whatever the card's own range. The GUI thread calls
// every operation; a watcher thread of the object reports outside changes to the callback.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "audio/mixer/MixerBackend.h"

namespace ostrel::sync {
class CWorkerThread;
}

namespace ostrel::audio {

enum class VolumeKind { MicrophoneLevel, WaveOutput, MasterOutput };

class VolumeControl {
public:
    // Runs on the watcher thread with the new getValue(); it must not block on the GUI thread.
    using ChangeCallback = std::function<void(long value, void* context)>;
    static constexpr long kScaleMaximum = 65535;
    static constexpr int kFindMicrophone = -1;

    // Takes over the mixer handle; a null one (no mixer) leaves the object unavailable. The
    // microphone kind uses recording source `sourceIndex` (kFindMicrophone: the usual choice,
    // see microphoneSourceIndex); the output kinds ignore it.
    VolumeControl(VolumeKind kind, std::unique_ptr<MixerBackend> mixer,
                  int sourceIndex = kFindMicrophone);
    // On the desktop's default card; unavailable when there is none.
    static std::unique_ptr<VolumeControl> onDefaultCard(VolumeKind kind);
    // Stops the watcher (no callback runs after this returns) and closes the mixer.
    virtual ~VolumeControl();

    VolumeControl(const VolumeControl&) = delete;
    VolumeControl& operator=(const VolumeControl&) = delete;

    // The line was found and has a usable volume.
    virtual bool isAvailable() const;
    // Output kinds: unmute the line; microphone: switch its capture on. 1 done, 0 failed.
    virtual int enable();
    virtual int disable();
    // 0 and kScaleMaximum; -1 when unavailable.
    virtual long minimum() const;
    virtual long maximum() const;
    // Distinct raw levels of the card's control; 0 when unavailable.
    virtual long stepCount() const;
    // The first channel's value, -1 on failure.
    virtual long getValue();
    // Every channel; only for minimum <= value <= maximum. 1 done, 0 not.
    virtual int setValue(long value);
    virtual void setChangeCallback(ChangeCallback callback, void* context);

    VolumeKind kind() const { return kind_; }
    // Microphone kind: the recording source in use, -1 when there is none.
    int sourceIndex() const { return sourceIndex_; }

private:
    long toScale(long raw) const;
    long toRaw(long value) const;
    long valueLocked();
    void startWatcher();
    uint32_t watch();

    const VolumeKind kind_;
    int sourceIndex_ = -1;
    int element_ = -1;
    MixerDirection direction_ = MixerDirection::Playback;
    long rawMinimum_ = 0;
    long rawMaximum_ = 0;
    std::atomic<bool> available_{false};

    // Guards mixer_ and the last-set pair: alsa-lib handles are not thread-safe, and the
    // watcher handles events on the same handle that the GUI thread reads and sets.
    mutable std::mutex mixerMutex_;
    std::unique_ptr<MixerBackend> mixer_;
    // The last value set and the raw level it became: a card with fewer steps than 65536
    // would otherwise hand back a neighbouring value and move the slider after a release.
    long lastSetValue_ = -1;
    long lastSetRaw_ = 0;

    std::mutex callbackMutex_;  // guards callback_ and context_
    ChangeCallback callback_;
    void* context_ = nullptr;

    int wakeFd_ = -1;  // written by the destructor to end the watcher's poll
    std::vector<pollfd> mixerFds_;
    std::unique_ptr<sync::CWorkerThread> watcher_;
};

}  // namespace ostrel::audio
