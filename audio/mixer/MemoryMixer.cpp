#include "audio/mixer/MemoryMixer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "audio/mixer/MemoryMixerBackend.h"

namespace ostrel::audio {

namespace {

int side(MixerDirection d) {
    return static_cast<int>(d);
}

}  // namespace

MemoryMixer::~MemoryMixer() {
    for (auto& [handle, state] : handles_) {
        ::close(state.readFd);
        ::close(state.writeFd);
    }
}

int MemoryMixer::add(ElementDecl decl) {
    std::lock_guard lock(mutex_);
    Element e;
    const Side* sides[2] = {&decl.playback, &decl.capture};
    for (int s = 0; s < 2; ++s) {
        const int n = (sides[s]->volume || sides[s]->hasSwitch) ? sides[s]->channels : 0;
        e.volume[s].assign(sides[s]->volume ? n : 0, sides[s]->initialVolume);
        e.switches[s].assign(sides[s]->hasSwitch ? n : 0, sides[s]->initialSwitch);
    }
    if (!decl.captureItems.empty()) {
        e.items.assign(decl.enumChannels, decl.initialItem);
    }
    e.decl = std::move(decl);
    elements_.push_back(std::move(e));
    return static_cast<int>(elements_.size()) - 1;
}

std::unique_ptr<MixerBackend> MemoryMixer::open() {
    int handle = 0;
    {
        std::lock_guard lock(mutex_);
        if (refuse_) {
            return nullptr;
        }
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
            return nullptr;
        }
        handle = nextHandle_++;
        handles_[handle] = HandleState{fds[0], fds[1], {}, false};
    }
    return std::make_unique<MemoryMixerBackend>(shared_from_this(), handle);
}

void MemoryMixer::refuseOpen(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
}

void MemoryMixer::unplug() {
    std::lock_guard lock(mutex_);
    refuse_ = true;
    for (auto& [handle, state] : handles_) {
        state.hungUp = true;
        const char byte = 0;
        [[maybe_unused]] const auto written = ::write(state.writeFd, &byte, 1);
    }
}

int MemoryMixer::openHandleCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

int MemoryMixer::findLocked(const std::string& name) const {
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].decl.name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void MemoryMixer::announceLocked(int id) {
    elements_[id].writes++;
    for (auto& [handle, state] : handles_) {
        if (std::find(state.pending.begin(), state.pending.end(), id) == state.pending.end()) {
            state.pending.push_back(id);
        }
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(state.writeFd, &byte, 1);
    }
}

bool MemoryMixer::setVolume(const std::string& name, MixerDirection d, long raw) {
    int id;
    {
        std::lock_guard lock(mutex_);
        id = findLocked(name);
    }
    return id >= 0 && writeVolume(id, d, raw);
}

std::optional<long> MemoryMixer::volume(const std::string& name, MixerDirection d,
                                        int channel) const {
    std::lock_guard lock(mutex_);
    const int id = findLocked(name);
    if (id < 0 || channel < 0 ||
        channel >= static_cast<int>(elements_[id].volume[side(d)].size())) {
        return std::nullopt;
    }
    return elements_[id].volume[side(d)][channel];
}

bool MemoryMixer::setSwitch(const std::string& name, MixerDirection d, bool on) {
    int id;
    {
        std::lock_guard lock(mutex_);
        id = findLocked(name);
    }
    return id >= 0 && writeSwitch(id, d, -1, on);
}

std::optional<bool> MemoryMixer::switchOn(const std::string& name, MixerDirection d,
                                          int channel) const {
    std::lock_guard lock(mutex_);
    const int id = findLocked(name);
    if (id < 0 || channel < 0 ||
        channel >= static_cast<int>(elements_[id].switches[side(d)].size())) {
        return std::nullopt;
    }
    return static_cast<bool>(elements_[id].switches[side(d)][channel]);
}

std::optional<int> MemoryMixer::enumItem(const std::string& name, int channel) const {
    std::lock_guard lock(mutex_);
    const int id = findLocked(name);
    if (id < 0 || channel < 0 || channel >= static_cast<int>(elements_[id].items.size())) {
        return std::nullopt;
    }
    return elements_[id].items[channel];
}

int MemoryMixer::writeCount(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const int id = findLocked(name);
    return id < 0 ? 0 : elements_[id].writes;
}

std::vector<MixerElementInfo> MemoryMixer::infos() const {
    std::lock_guard lock(mutex_);
    std::vector<MixerElementInfo> result;
    for (const Element& e : elements_) {
        MixerElementInfo info;
        info.name = e.decl.name;
        info.index = e.decl.index;
        info.active = e.decl.active;
        info.hasVolume[0] = e.decl.playback.volume;
        info.hasVolume[1] = e.decl.capture.volume;
        info.hasSwitch[0] = e.decl.playback.hasSwitch;
        info.hasSwitch[1] = e.decl.capture.hasSwitch;
        info.captureEnum = !e.decl.captureItems.empty();
        info.enumItems = e.decl.captureItems;
        result.push_back(std::move(info));
    }
    return result;
}

bool MemoryMixer::range(int id, MixerDirection d, long& minimum, long& maximum) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    const Side& s =
        d == MixerDirection::Playback ? elements_[id].decl.playback : elements_[id].decl.capture;
    if (!s.volume) {
        return false;
    }
    minimum = s.minimum;
    maximum = s.maximum;
    return true;
}

int MemoryMixer::channels(int id, MixerDirection d) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return 0;
    }
    return static_cast<int>(
        std::max(elements_[id].volume[side(d)].size(), elements_[id].switches[side(d)].size()));
}

bool MemoryMixer::getVolume(int id, MixerDirection d, int channel, long& raw) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    const auto& v = elements_[id].volume[side(d)];
    if (channel < 0 || channel >= static_cast<int>(v.size())) {
        return false;
    }
    raw = v[channel];
    return true;
}

bool MemoryMixer::writeVolume(int id, MixerDirection d, long raw) {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    Element& e = elements_[id];
    const Side& s = d == MixerDirection::Playback ? e.decl.playback : e.decl.capture;
    if (!s.volume || e.volume[side(d)].empty()) {
        return false;
    }
    // alsa-lib clamps to the range rather than refusing.
    std::fill(e.volume[side(d)].begin(), e.volume[side(d)].end(),
              std::clamp(raw, s.minimum, s.maximum));
    announceLocked(id);
    return true;
}

bool MemoryMixer::getSwitch(int id, MixerDirection d, int channel, bool& on) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    const auto& sw = elements_[id].switches[side(d)];
    if (channel < 0 || channel >= static_cast<int>(sw.size())) {
        return false;
    }
    on = sw[channel];
    return true;
}

bool MemoryMixer::writeSwitch(int id, MixerDirection d, int channel, bool on) {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    auto& sw = elements_[id].switches[side(d)];
    if (sw.empty() || channel >= static_cast<int>(sw.size())) {
        return false;
    }
    if (channel < 0) {
        std::fill(sw.begin(), sw.end(), on);
    } else {
        sw[channel] = on;
    }
    announceLocked(id);
    return true;
}

bool MemoryMixer::getItem(int id, int channel, int& item) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    const auto& items = elements_[id].items;
    if (channel < 0 || channel >= static_cast<int>(items.size())) {
        return false;
    }
    item = items[channel];
    return true;
}

bool MemoryMixer::writeItem(int id, int channel, int item) {
    std::lock_guard lock(mutex_);
    if (id < 0 || id >= static_cast<int>(elements_.size())) {
        return false;
    }
    Element& e = elements_[id];
    if (e.items.empty() || item < 0 || item >= static_cast<int>(e.decl.captureItems.size()) ||
        channel >= static_cast<int>(e.items.size())) {
        return false;
    }
    if (channel < 0) {
        std::fill(e.items.begin(), e.items.end(), item);
    } else {
        e.items[channel] = item;
    }
    announceLocked(id);
    return true;
}

void MemoryMixer::closeHandle(int handle) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        return;
    }
    ::close(it->second.readFd);
    ::close(it->second.writeFd);
    handles_.erase(it);
}

bool MemoryMixer::takeEvents(int handle, std::vector<int>& changed) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        return false;
    }
    char drain[64];
    while (::read(it->second.readFd, drain, sizeof drain) > 0) {
    }
    if (it->second.hungUp) {
        return false;
    }
    changed.insert(changed.end(), it->second.pending.begin(), it->second.pending.end());
    it->second.pending.clear();
    return true;
}

int MemoryMixer::handleReadFd(int handle) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? -1 : it->second.readFd;
}

}  // namespace ostrel::audio
