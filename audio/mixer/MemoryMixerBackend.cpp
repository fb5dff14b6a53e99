#include "audio/mixer/MemoryMixerBackend.h"

namespace ostrel::audio {

MemoryMixerBackend::MemoryMixerBackend(std::shared_ptr<MemoryMixer> card, int handle)
    : card_(std::move(card)), handle_(handle) {}

MemoryMixerBackend::~MemoryMixerBackend() {
    card_->closeHandle(handle_);
}

std::vector<MixerElementInfo> MemoryMixerBackend::elements() {
    return card_->infos();
}

bool MemoryMixerBackend::volumeRange(int id, MixerDirection d, long& minimum, long& maximum) {
    return card_->range(id, d, minimum, maximum);
}

int MemoryMixerBackend::channelCount(int id, MixerDirection d) {
    return card_->channels(id, d);
}

bool MemoryMixerBackend::getVolume(int id, MixerDirection d, int channel, long& raw) {
    return card_->getVolume(id, d, channel, raw);
}

bool MemoryMixerBackend::setVolume(int id, MixerDirection d, long raw) {
    return card_->writeVolume(id, d, raw);
}

bool MemoryMixerBackend::getSwitch(int id, MixerDirection d, int channel, bool& on) {
    return card_->getSwitch(id, d, channel, on);
}

bool MemoryMixerBackend::setSwitch(int id, MixerDirection d, int channel, bool on) {
    return card_->writeSwitch(id, d, channel, on);
}

bool MemoryMixerBackend::getEnumItem(int id, int channel, int& item) {
    return card_->getItem(id, channel, item);
}

bool MemoryMixerBackend::setEnumItem(int id, int channel, int item) {
    return card_->writeItem(id, channel, item);
}

std::vector<pollfd> MemoryMixerBackend::pollDescriptors() {
    const int fd = card_->handleReadFd(handle_);
    if (fd < 0) {
        return {};
    }
    return {pollfd{fd, POLLIN, 0}};
}

bool MemoryMixerBackend::handleEvents(std::span<pollfd>, std::vector<int>& changed) {
    return card_->takeEvents(handle_, changed);
}

}  // namespace ostrel::audio
