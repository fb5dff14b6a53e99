// Audio devices: the stand-in for the system's wave mapper that both wave devices open. One
// implementation per backend (sound card, files, none) plus a scripted one in the tests; any
// thread may call it, and each open stream moves its buffers on a thread of its own.
#pragma once

#include <memory>

#include "audio/AudioFormat.h"
#include "audio/MmResult.h"
#include "audio/WaveStream.h"
#include "sync/ThreadId.h"

namespace ostrel::audio {

enum class WaveDirection { Capture, Playback };

class WaveBackend {
public:
    virtual ~WaveBackend() = default;

    // Whether the default device of that direction can take the format (nothing is opened).
    virtual MMRESULT queryFormat(WaveDirection direction, const AudioFormat& format) = 0;

    // Opens the default device; completions go as thread messages to `callbackThread`
    // (MM_WIM_DATA for capture, MM_WOM_DONE for playback, the header's address in lParam).
    virtual MMRESULT open(WaveDirection direction, const AudioFormat& format,
                          sync::ThreadId callbackThread, std::unique_ptr<WaveStream>& stream) = 0;
};

}  // namespace ostrel::audio
