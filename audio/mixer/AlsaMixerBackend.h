// The ALSA simple mixer of one card (the desktop's default one) behind the MixerBackend
// interface. Opened by the GUI thread; its owner serialises every call, as alsa-lib's handles
// are not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/mixer/MixerBackend.h"

struct _snd_mixer;
struct _snd_mixer_elem;

namespace ostrel::audio {

class AlsaMixerBackend final : public MixerBackend {
public:
    // Null when the card has no mixer or cannot be opened (no sound card, as in CI).
    static std::unique_ptr<AlsaMixerBackend> open(const std::string& card = "default");
    ~AlsaMixerBackend() override;

    AlsaMixerBackend(const AlsaMixerBackend&) = delete;
    AlsaMixerBackend& operator=(const AlsaMixerBackend&) = delete;

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
    // Per element: alsa-lib hands this back in the element callback.
    struct Slot {
        AlsaMixerBackend* owner = nullptr;
        int id = 0;
        _snd_mixer_elem* elem = nullptr;  // null once the element was removed
        bool changed = false;
    };

    explicit AlsaMixerBackend(_snd_mixer* handle);
    _snd_mixer_elem* element(int id) const;
    static int onElementEvent(_snd_mixer_elem* elem, unsigned int mask);

    _snd_mixer* handle_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace ostrel::audio
