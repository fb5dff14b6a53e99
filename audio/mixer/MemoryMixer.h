// A mixer card held in memory, for tests: elements are declared up front, handles opened on it
// behave like alsa-lib's (every change is announced to every open handle through a pipe), and
// a test plays "another program" through the by-name calls. All of it is thread-safe.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/mixer/MixerBackend.h"

namespace ostrel::audio {

class MemoryMixer : public std::enable_shared_from_this<MemoryMixer> {
public:
    struct Side {
        bool volume = false;
        long minimum = 0;
        long maximum = 65535;
        bool hasSwitch = false;
        int channels = 1;
        long initialVolume = 0;
        bool initialSwitch = true;
    };
    struct ElementDecl {
        std::string name;
        unsigned index = 0;
        bool active = true;
        Side playback;
        Side capture;
        std::vector<std::string> captureItems;  // non-empty: a capture source selector
        int enumChannels = 1;
        int initialItem = 0;
    };

    // Handles keep the card alive, so it is always owned by a shared_ptr.
    static std::shared_ptr<MemoryMixer> create() { return std::make_shared<MemoryMixer>(); }
    MemoryMixer() = default;
    ~MemoryMixer();

    // Declares an element; returns its id (its position in every handle's element list).
    int add(ElementDecl decl);

    // A new handle on this card. Null when the card was set to refuse opening.
    std::unique_ptr<MixerBackend> open();
    void refuseOpen(bool refuse);
    // The card goes away: every open handle sees a hang-up on its next event wait.
    void unplug();
    int openHandleCount() const;

    // "Another program": by the first element of that name. False when there is none.
    bool setVolume(const std::string& name, MixerDirection d, long raw);
    std::optional<long> volume(const std::string& name, MixerDirection d, int channel = 0) const;
    bool setSwitch(const std::string& name, MixerDirection d, bool on);
    std::optional<bool> switchOn(const std::string& name, MixerDirection d, int channel = 0) const;
    std::optional<int> enumItem(const std::string& name, int channel = 0) const;
    // How many writes reached the element (volume, switch or item), by any handle or by name.
    int writeCount(const std::string& name) const;

private:
    friend class MemoryMixerBackend;

    struct Element {
        ElementDecl decl;
        std::vector<long> volume[2];
        std::vector<bool> switches[2];
        std::vector<int> items;
        int writes = 0;
    };
    struct HandleState {
        int readFd = -1;
        int writeFd = -1;
        std::vector<int> pending;  // ids changed since the handle last took its events
        bool hungUp = false;
    };

    // Every call below takes mutex_.
    std::vector<MixerElementInfo> infos() const;
    bool range(int id, MixerDirection d, long& minimum, long& maximum) const;
    int channels(int id, MixerDirection d) const;
    bool getVolume(int id, MixerDirection d, int channel, long& raw) const;
    bool writeVolume(int id, MixerDirection d, long raw);
    bool getSwitch(int id, MixerDirection d, int channel, bool& on) const;
    bool writeSwitch(int id, MixerDirection d, int channel, bool on);
    bool getItem(int id, int channel, int& item) const;
    bool writeItem(int id, int channel, int item);
    void closeHandle(int handle);
    bool takeEvents(int handle, std::vector<int>& changed);
    int handleReadFd(int handle) const;

    int findLocked(const std::string& name) const;
    void announceLocked(int id);

    mutable std::mutex mutex_;  // guards everything below
    std::vector<Element> elements_;
    std::map<int, HandleState> handles_;
    int nextHandle_ = 1;
    bool refuse_ = false;
};

}  // namespace ostrel::audio
