#include "audio/mixer/AlsaMixerBackend.h"

#include <alsa/asoundlib.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Platform.h"

namespace ostrel::audio {

namespace {

// ALSA numbers channels by position (front left, front right, ...); a mono control uses only
// the first. Our channel index i is the i-th position the element actually has.
std::vector<snd_mixer_selem_channel_id_t> channelsOf(snd_mixer_elem_t* elem, MixerDirection d) {
    std::vector<snd_mixer_selem_channel_id_t> result;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        const int present = d == MixerDirection::Playback
                                ? snd_mixer_selem_has_playback_channel(elem, channel)
                                : snd_mixer_selem_has_capture_channel(elem, channel);
        if (present > 0) {
            result.push_back(channel);
        }
    }
    return result;
}

bool channelAt(snd_mixer_elem_t* elem, MixerDirection d, int index,
               snd_mixer_selem_channel_id_t& out) {
    const auto channels = channelsOf(elem, d);
    if (index < 0 || index >= static_cast<int>(channels.size())) {
        return false;
    }
    out = channels[index];
    return true;
}

// alsa-lib prints every failed lookup to stderr (a dozen lines per open on a machine without
// a card); like the rest of the program's diagnostics they go to the trace output instead.
void traceAlsaError(const char* file, int line, const char* function, int, const char* format,
                    ...) {
    if (!platform::traceEnabled()) {
        return;
    }
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    platform::trace(std::string("ALSA ") + file + ":" + std::to_string(line) + " " + function +
                    ": " + text);
}

}  // namespace

std::unique_ptr<AlsaMixerBackend> AlsaMixerBackend::open(const std::string& card) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(&traceAlsaError); });
    snd_mixer_t* handle = nullptr;
    if (snd_mixer_open(&handle, 0) < 0) {
        return nullptr;
    }
    if (snd_mixer_attach(handle, card.c_str()) < 0 ||
        snd_mixer_selem_register(handle, nullptr, nullptr) < 0 || snd_mixer_load(handle) < 0) {
        snd_mixer_close(handle);
        return nullptr;
    }
    return std::unique_ptr<AlsaMixerBackend>(new AlsaMixerBackend(handle));
}

AlsaMixerBackend::AlsaMixerBackend(snd_mixer_t* handle) : handle_(handle) {
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(handle_); e; e = snd_mixer_elem_next(e)) {
        auto slot = std::make_unique<Slot>();
        slot->owner = this;
        slot->id = static_cast<int>(slots_.size());
        slot->elem = e;
        snd_mixer_elem_set_callback_private(e, slot.get());
        snd_mixer_elem_set_callback(e, &AlsaMixerBackend::onElementEvent);
        slots_.push_back(std::move(slot));
    }
}

AlsaMixerBackend::~AlsaMixerBackend() {
    for (const auto& slot : slots_) {
        if (slot->elem) {
            snd_mixer_elem_set_callback(slot->elem, nullptr);
        }
    }
    snd_mixer_close(handle_);
}

int AlsaMixerBackend::onElementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* slot = static_cast<Slot*>(snd_mixer_elem_get_callback_private(elem));
    if (!slot) {
        return 0;
    }
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
        slot->elem = nullptr;  // alsa-lib frees the element after this call
        slot->changed = true;
        return 0;
    }
    if (mask & SND_CTL_EVENT_MASK_VALUE) {
        slot->changed = true;
    }
    return 0;
}

snd_mixer_elem_t* AlsaMixerBackend::element(int id) const {
    if (id < 0 || id >= static_cast<int>(slots_.size())) {
        return nullptr;
    }
    return slots_[id]->elem;
}

std::vector<MixerElementInfo> AlsaMixerBackend::elements() {
    std::vector<MixerElementInfo> result;
    for (const auto& slot : slots_) {
        MixerElementInfo info;
        snd_mixer_elem_t* e = slot->elem;
        if (!e) {
            info.active = false;
            result.push_back(std::move(info));
            continue;
        }
        info.name = snd_mixer_selem_get_name(e);
        info.index = snd_mixer_selem_get_index(e);
        info.active = snd_mixer_selem_is_active(e) != 0;
        info.hasVolume[0] = snd_mixer_selem_has_playback_volume(e) != 0;
        info.hasVolume[1] = snd_mixer_selem_has_capture_volume(e) != 0;
        info.hasSwitch[0] = snd_mixer_selem_has_playback_switch(e) != 0;
        info.hasSwitch[1] = snd_mixer_selem_has_capture_switch(e) != 0;
        info.captureEnum = snd_mixer_selem_is_enum_capture(e) != 0;
        if (info.captureEnum) {
            const int count = snd_mixer_selem_get_enum_items(e);
            for (int i = 0; i < count; ++i) {
                std::array<char, 64> name{};
                if (snd_mixer_selem_get_enum_item_name(e, i, name.size(), name.data()) < 0) {
                    name[0] = '\0';
                }
                info.enumItems.emplace_back(name.data());
            }
        }
        result.push_back(std::move(info));
    }
    return result;
}

bool AlsaMixerBackend::volumeRange(int id, MixerDirection d, long& minimum, long& maximum) {
    snd_mixer_elem_t* e = element(id);
    if (!e) {
        return false;
    }
    if (d == MixerDirection::Playback) {
        return snd_mixer_selem_has_playback_volume(e) &&
               snd_mixer_selem_get_playback_volume_range(e, &minimum, &maximum) == 0;
    }
    return snd_mixer_selem_has_capture_volume(e) &&
           snd_mixer_selem_get_capture_volume_range(e, &minimum, &maximum) == 0;
}

int AlsaMixerBackend::channelCount(int id, MixerDirection d) {
    snd_mixer_elem_t* e = element(id);
    return e ? static_cast<int>(channelsOf(e, d).size()) : 0;
}

bool AlsaMixerBackend::getVolume(int id, MixerDirection d, int channel, long& raw) {
    snd_mixer_elem_t* e = element(id);
    snd_mixer_selem_channel_id_t c;
    if (!e || !channelAt(e, d, channel, c)) {
        return false;
    }
    return (d == MixerDirection::Playback ? snd_mixer_selem_get_playback_volume(e, c, &raw)
                                          : snd_mixer_selem_get_capture_volume(e, c, &raw)) == 0;
}

bool AlsaMixerBackend::setVolume(int id, MixerDirection d, long raw) {
    snd_mixer_elem_t* e = element(id);
    if (!e) {
        return false;
    }
    return (d == MixerDirection::Playback ? snd_mixer_selem_set_playback_volume_all(e, raw)
                                          : snd_mixer_selem_set_capture_volume_all(e, raw)) == 0;
}

bool AlsaMixerBackend::getSwitch(int id, MixerDirection d, int channel, bool& on) {
    snd_mixer_elem_t* e = element(id);
    snd_mixer_selem_channel_id_t c;
    if (!e || !channelAt(e, d, channel, c)) {
        return false;
    }
    int value = 0;
    const int rc = d == MixerDirection::Playback ? snd_mixer_selem_get_playback_switch(e, c, &value)
                                                 : snd_mixer_selem_get_capture_switch(e, c, &value);
    on = value != 0;
    return rc == 0;
}

bool AlsaMixerBackend::setSwitch(int id, MixerDirection d, int channel, bool on) {
    snd_mixer_elem_t* e = element(id);
    if (!e) {
        return false;
    }
    const bool playback = d == MixerDirection::Playback;
    if (channel < 0) {
        return (playback ? snd_mixer_selem_set_playback_switch_all(e, on)
                         : snd_mixer_selem_set_capture_switch_all(e, on)) == 0;
    }
    snd_mixer_selem_channel_id_t c;
    if (!channelAt(e, d, channel, c)) {
        return false;
    }
    return (playback ? snd_mixer_selem_set_playback_switch(e, c, on)
                     : snd_mixer_selem_set_capture_switch(e, c, on)) == 0;
}

bool AlsaMixerBackend::getEnumItem(int id, int channel, int& item) {
    snd_mixer_elem_t* e = element(id);
    if (!e || channel < 0 || channel > SND_MIXER_SCHN_LAST || !snd_mixer_selem_is_enumerated(e)) {
        return false;
    }
    unsigned int value = 0;
    if (snd_mixer_selem_get_enum_item(e, static_cast<snd_mixer_selem_channel_id_t>(channel),
                                      &value) < 0) {
        return false;
    }
    item = static_cast<int>(value);
    return true;
}

bool AlsaMixerBackend::setEnumItem(int id, int channel, int item) {
    snd_mixer_elem_t* e = element(id);
    if (!e || item < 0 || !snd_mixer_selem_is_enumerated(e)) {
        return false;
    }
    if (channel >= 0) {
        return snd_mixer_selem_set_enum_item(e, static_cast<snd_mixer_selem_channel_id_t>(channel),
                                             static_cast<unsigned int>(item)) == 0;
    }
    // An enumerated element has as many channels as the first get that fails tells.
    bool any = false;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channelId = static_cast<snd_mixer_selem_channel_id_t>(c);
        unsigned int current = 0;
        if (snd_mixer_selem_get_enum_item(e, channelId, &current) < 0) {
            break;
        }
        if (snd_mixer_selem_set_enum_item(e, channelId, static_cast<unsigned int>(item)) < 0) {
            return false;
        }
        any = true;
    }
    return any;
}

std::vector<pollfd> AlsaMixerBackend::pollDescriptors() {
    const int count = snd_mixer_poll_descriptors_count(handle_);
    if (count <= 0) {
        return {};
    }
    std::vector<pollfd> fds(count);
    const int filled = snd_mixer_poll_descriptors(handle_, fds.data(), count);
    fds.resize(filled > 0 ? filled : 0);
    return fds;
}

bool AlsaMixerBackend::handleEvents(std::span<pollfd> polled, std::vector<int>& changed) {
    unsigned short revents = 0;
    if (snd_mixer_poll_descriptors_revents(
            handle_, polled.data(), static_cast<unsigned int>(polled.size()), &revents) < 0 ||
        (revents & (POLLERR | POLLHUP | POLLNVAL))) {
        return false;
    }
    if ((revents & POLLIN) && snd_mixer_handle_events(handle_) < 0) {
        return false;
    }
    for (const auto& slot : slots_) {
        if (slot->changed) {
            slot->changed = false;
            changed.push_back(slot->id);
        }
    }
    return true;
}

}  // namespace ostrel::audio
