// Which simple-mixer elements stand for the lines the client works with: the master output
// ("Master"), the wave output ("PCM"), the microphone sources and the capture source selector.
// Pure functions over an element list; any thread.
#pragma once

#include <string_view>
#include <vector>

#include "audio/mixer/MixerBackend.h"

namespace ostrel::audio {

// "Mic", "Microphone", or a jack-specific one such as "Front Mic" or "Internal Mic"
// (not "Mic Boost", which is a gain stage without a switch of its own).
bool isMicrophoneName(std::string_view name);
// The client's own sound: ALSA calls the wave output "PCM".
bool isWaveOutputName(std::string_view name);

// Id of the first usable element of that name with a volume in that direction, else -1.
int findVolumeElement(const std::vector<MixerElementInfo>& elements, std::string_view name,
                      MixerDirection d);

// The recording destination's sources: ids of the elements with a capture volume, in order.
std::vector<int> recordingSources(const std::vector<MixerElementInfo>& elements);

// Position in recordingSources of the microphone recording level: the last "Capture" element
// (the card's overall recording level), else the last microphone-named one, else the first
// source; -1 when there is no source at all.
int microphoneSourceIndex(const std::vector<MixerElementInfo>& elements);

// Id of the first capture source selector, else -1.
int findCaptureSelector(const std::vector<MixerElementInfo>& elements);

}  // namespace ostrel::audio
