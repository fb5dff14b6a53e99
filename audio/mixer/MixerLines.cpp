#include "audio/mixer/MixerLines.h"

namespace ostrel::audio {

bool isMicrophoneName(std::string_view name) {
    constexpr std::string_view suffix = " Mic";
    return name == "Mic" || name == "Microphone" ||
           (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix);
}

bool isWaveOutputName(std::string_view name) {
    return name == "PCM";
}

int findVolumeElement(const std::vector<MixerElementInfo>& elements, std::string_view name,
                      MixerDirection d) {
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].name == name && elements[i].volume(d)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<int> recordingSources(const std::vector<MixerElementInfo>& elements) {
    std::vector<int> ids;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].volume(MixerDirection::Capture)) {
            ids.push_back(static_cast<int>(i));
        }
    }
    return ids;
}

int microphoneSourceIndex(const std::vector<MixerElementInfo>& elements) {
    const std::vector<int> sources = recordingSources(elements);
    if (sources.empty()) {
        return -1;
    }
    int capture = -1;
    int microphone = -1;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& name = elements[sources[i]].name;
        if (name == "Capture") {
            capture = static_cast<int>(i);
        } else if (isMicrophoneName(name)) {
            microphone = static_cast<int>(i);
        }
    }
    if (capture >= 0) {
        return capture;
    }
    return microphone >= 0 ? microphone : 0;
}

int findCaptureSelector(const std::vector<MixerElementInfo>& elements) {
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].captureEnum && !elements[i].enumItems.empty()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace ostrel::audio
