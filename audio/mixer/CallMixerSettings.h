// The mixer state fit for a voice call (the "AutoMMSettings" switch): the microphone recorded
// and not echoed to the speakers, the wave output heard and not recorded back, the microphone
// not too quiet, and the capture source selector on the microphone. GUI thread, at start-up.
#pragma once

#include <optional>

#include "audio/mixer/MixerBackend.h"

namespace ostrel::audio {

class VolumeControl;

class CallMixerSettings {
public:
    // Below this slider value (getValue / 256) the microphone is raised...
    static constexpr long kQuietLevel = 32;
    // ...to this one (volume 128 * 256 = 32768).
    static constexpr int kRaisedLevel = 128;

    // "AutoMMSettings" from the settings store; a value that cannot be read counts as on.
    static bool enabled();

    // Runs the four steps on `mixer` (a handle of the microphone's card) and on `microphone`.
    // Mixer errors are ignored and a missing line or control changes nothing. Returns the
    // microphone slider position to show when the level was raised, else nothing.
    static std::optional<int> apply(MixerBackend& mixer, VolumeControl& microphone);
    // The same on the desktop's default card, opened only for this.
    static std::optional<int> applyToDefaultCard(VolumeControl& microphone);

private:
    static void muteSweep(MixerBackend& mixer, const std::vector<MixerElementInfo>& elements);
    static void unmuteMicrophoneCapture(MixerBackend& mixer,
                                        const std::vector<MixerElementInfo>& elements);
    static std::optional<int> raiseQuietMicrophone(VolumeControl& microphone);
    static void selectMicrophoneSource(MixerBackend& mixer,
                                       const std::vector<MixerElementInfo>& elements);
};

}  // namespace ostrel::audio
