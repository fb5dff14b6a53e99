#include "audio/mixer/CallMixerSettings.h"

#include "app/settings/Settings.h"
#include "audio/mixer/AlsaMixerBackend.h"
#include "audio/mixer/MixerLines.h"
#include "audio/mixer/VolumeControl.h"

namespace ostrel::audio {

bool CallMixerSettings::enabled() {
    return settings::read(settings::value::AutoMMSettings) != 0;
}

std::optional<int> CallMixerSettings::apply(MixerBackend& mixer, VolumeControl& microphone) {
    const std::vector<MixerElementInfo> elements = mixer.elements();
    muteSweep(mixer, elements);
    unmuteMicrophoneCapture(mixer, elements);
    const std::optional<int> raised = raiseQuietMicrophone(microphone);
    selectMicrophoneSource(mixer, elements);
    return raised;
}

std::optional<int> CallMixerSettings::applyToDefaultCard(VolumeControl& microphone) {
    std::unique_ptr<AlsaMixerBackend> mixer = AlsaMixerBackend::open();
    if (!mixer) {
        return raiseQuietMicrophone(microphone);
    }
    return apply(*mixer, microphone);
}

// The other side's voice is heard and not recorded back; the user's voice is recorded and not
// echoed to the speakers. A switch that is on lets the sound through.
void CallMixerSettings::muteSweep(MixerBackend& mixer,
                                  const std::vector<MixerElementInfo>& elements) {
    for (size_t i = 0; i < elements.size(); ++i) {
        const MixerElementInfo& e = elements[i];
        const int id = static_cast<int>(i);
        if (!e.active) {
            continue;
        }
        bool playbackOn;
        if (isWaveOutputName(e.name)) {
            playbackOn = true;
        } else if (isMicrophoneName(e.name)) {
            playbackOn = false;
        } else {
            continue;
        }
        if (e.switchable(MixerDirection::Playback)) {
            mixer.setSwitch(id, MixerDirection::Playback, -1, playbackOn);
        }
        if (e.switchable(MixerDirection::Capture)) {
            mixer.setSwitch(id, MixerDirection::Capture, -1, !playbackOn);
        }
    }
}

// The sweep switched the microphone inputs on; the recording level's own switch ("Capture" on
// most cards) must be on as well, on the first and the last channel (left and right).
void CallMixerSettings::unmuteMicrophoneCapture(MixerBackend& mixer,
                                                const std::vector<MixerElementInfo>& elements) {
    for (size_t i = 0; i < elements.size(); ++i) {
        const MixerElementInfo& e = elements[i];
        if (!e.active || !e.switchable(MixerDirection::Capture) || e.name != "Capture") {
            continue;
        }
        const int id = static_cast<int>(i);
        const int channels = mixer.channelCount(id, MixerDirection::Capture);
        if (channels > 0) {
            mixer.setSwitch(id, MixerDirection::Capture, 0, true);
            mixer.setSwitch(id, MixerDirection::Capture, channels - 1, true);
        }
        return;
    }
}

std::optional<int> CallMixerSettings::raiseQuietMicrophone(VolumeControl& microphone) {
    if (!microphone.isAvailable()) {
        return std::nullopt;
    }
    const long value = microphone.getValue();
    if (value < 0 || value / 256 >= kQuietLevel) {
        return std::nullopt;
    }
    microphone.setValue(static_cast<long>(kRaisedLevel) * 256);
    return kRaisedLevel;
}

// ALSA's selectors pick one item per channel, so choosing the microphone deselects the rest.
void CallMixerSettings::selectMicrophoneSource(MixerBackend& mixer,
                                               const std::vector<MixerElementInfo>& elements) {
    const int selector = findCaptureSelector(elements);
    if (selector < 0) {
        return;
    }
    const std::vector<std::string>& items = elements[selector].enumItems;
    for (size_t item = 0; item < items.size(); ++item) {
        if (isMicrophoneName(items[item])) {
            mixer.setEnumItem(selector, -1, static_cast<int>(item));
            return;
        }
    }
}

}  // namespace ostrel::audio
