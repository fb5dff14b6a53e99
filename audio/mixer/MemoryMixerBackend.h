// One handle on a MemoryMixer: the MixerBackend that tests hand to a VolumeControl.
// Like an alsa-lib handle it is used by one thread at a time; the card behind it is shared.
#pragma once

#include <memory>

#include "audio/mixer/MemoryMixer.h"
#include "audio/mixer/MixerBackend.h"

namespace ostrel::audio {

class MemoryMixerBackend final : public MixerBackend {
public:
    MemoryMixerBackend(std::shared_ptr<MemoryMixer> card, int handle);
    ~MemoryMixerBackend() override;

    MemoryMixerBackend(const MemoryMixerBackend&) = delete;
    MemoryMixerBackend& operator=(const MemoryMixerBackend&) = delete;

    std::vector<MixerElementInfo> elements() override;
    bool volumeRange(int id, MixerDirection d, long& minimum, long& maximum) override;
    int channelCount(int id, MixerDirection d) override;
    bool getVolume(int id, MixerDirection d, int channel, long& raw) override;
    bool setVolume(int id, MixerDirection d, long raw) override;
    bool getSwitch(int id, MixerDirection d, int channel, bool& on) override;
    bool setSwitch(int id, MixerDirection d, int channel, bool on) override;
    bool getEnumItem(int id, int channel, int& item) override;
    bool setEnumItem(int id, int channel, int item) override;
    std::vector<pollfd> pollDescriptors() override;
    bool handleEvents(std::span<pollfd> polled, std::vector<int>& changed) override;

private:
    std::shared_ptr<MemoryMixer> card_;
    int handle_;
};

}  // namespace ostrel::audio
