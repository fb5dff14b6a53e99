// Mixer volumes: the master output, wave output and microphone level of the desktop's mixer,
// read and set by the GUI thread; each VolumeControl watches its mixer on a thread of its own
// and hands outside changes to a callback there (the Qt side posts them to the GUI thread).
#pragma once

#include <poll.h>

#include <span>
#include <string>
#include <vector>

namespace ostrel::audio {

enum class MixerDirection { Playback = 0, Capture = 1 };

// One element of a simple mixer, as a handle sees it when it is opened.
struct MixerElementInfo {
    std::string name;
    unsigned index = 0;  // tells apart elements of the same name ("Capture" 0 and 1)
    bool active = true;  // an inactive element is there but cannot be used
    bool hasVolume[2] = {false, false};  // by MixerDirection
    bool hasSwitch[2] = {false, false};
    bool captureEnum = false;  // a capture source selector; its items are listed below
    std::vector<std::string> enumItems;

    bool volume(MixerDirection d) const { return hasVolume[static_cast<int>(d)]; }
    bool switchable(MixerDirection d) const { return hasSwitch[static_cast<int>(d)]; }
};

// One open handle on a mixer. Element ids are positions in elements(), fixed for the handle's
// life. A handle is not thread-safe: its owner serialises every call, the event ones included.
class MixerBackend {
public:
    virtual ~MixerBackend() = default;

    virtual std::vector<MixerElementInfo> elements() = 0;

    // Raw bounds of the element's volume in that direction; false without one.
    virtual bool volumeRange(int id, MixerDirection d, long& minimum, long& maximum) = 0;
    // Channels of the volume (or switch) in that direction; 0 when it has none.
    virtual int channelCount(int id, MixerDirection d) = 0;
    virtual bool getVolume(int id, MixerDirection d, int channel, long& raw) = 0;
    // Sets every channel.
    virtual bool setVolume(int id, MixerDirection d, long raw) = 0;
    // A switch that is on lets the sound through (off = muted).
    virtual bool getSwitch(int id, MixerDirection d, int channel, bool& on) = 0;
    // channel < 0 sets every channel.
    virtual bool setSwitch(int id, MixerDirection d, int channel, bool on) = 0;
    virtual bool getEnumItem(int id, int channel, int& item) = 0;
    // channel < 0 sets every channel.
    virtual bool setEnumItem(int id, int channel, int item) = 0;

    // Descriptors that become readable when another client (or this one) changes the mixer.
    virtual std::vector<pollfd> pollDescriptors() = 0;
    // After poll: takes the pending events and appends the ids of changed elements. False when
    // the mixer went away (card removed); the handle then reports no more changes.
    virtual bool handleEvents(std::span<pollfd> polled, std::vector<int>& changed) = 0;
};

}  // namespace ostrel::audio
