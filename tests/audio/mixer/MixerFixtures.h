// Memory cards shaped like the ones the client meets: an HDA laptop codec and an old
// AC97-style card with per-source capture switches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/mixer/MemoryMixer.h"

namespace ostrel::audio::test {

inline MemoryMixer::Side playbackVolume(long initial, int channels = 2, bool hasSwitch = true) {
    MemoryMixer::Side s;
    s.volume = true;
    s.channels = channels;
    s.initialVolume = initial;
    s.hasSwitch = hasSwitch;
    return s;
}

inline MemoryMixer::Side switchOnly(bool initial, int channels = 2) {
    MemoryMixer::Side s;
    s.hasSwitch = true;
    s.channels = channels;
    s.initialSwitch = initial;
    return s;
}

inline MemoryMixer::ElementDecl element(std::string name, MemoryMixer::Side playback = {},
                                        MemoryMixer::Side capture = {}) {
    MemoryMixer::ElementDecl e;
    e.name = std::move(name);
    e.playback = playback;
    e.capture = capture;
    return e;
}

inline MemoryMixer::ElementDecl inactive(MemoryMixer::ElementDecl e) {
    e.active = false;
    return e;
}

inline MemoryMixer::ElementDecl indexed(MemoryMixer::ElementDecl e, unsigned index) {
    e.index = index;
    return e;
}

inline MemoryMixer::ElementDecl selector(std::string name, std::vector<std::string> items,
                                         int channels = 1, int initialItem = 0) {
    MemoryMixer::ElementDecl e;
    e.name = std::move(name);
    e.captureItems = std::move(items);
    e.enumChannels = channels;
    e.initialItem = initialItem;
    return e;
}

// Master and PCM playback, the "Capture" recording level, a "Mic" input, a "Mic Boost" gain
// and the "Input Source" selector.
inline std::shared_ptr<MemoryMixer> laptopCard(long captureLevel = 20000) {
    auto card = MemoryMixer::create();
    card->add(element("Master", playbackVolume(40000)));
    card->add(element("PCM", playbackVolume(50000)));
    card->add(element("Mic", playbackVolume(10000, 2, true)));
    card->add(element("Mic Boost", playbackVolume(0, 2, false)));
    MemoryMixer::Side capture = playbackVolume(captureLevel, 2, true);
    capture.initialSwitch = false;
    card->add(element("Capture", {}, capture));
    card->add(selector("Input Source", {"Line", "Internal Mic", "Mic"}, 2, 0));
    return card;
}

}  // namespace ostrel::audio::test
