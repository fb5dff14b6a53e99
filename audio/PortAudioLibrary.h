// Keeps PortAudio initialised while anything of the process uses it: the sound-card backend
// and the alert output each hold a reference, and the library ends after the last one. Any
// thread may acquire; PortAudio's open, close and query calls are serialised by apiMutex().
#pragma once

#include <memory>
#include <mutex>

namespace ostrel::audio {

class PortAudioLibrary {
public:
    // The running library, or nothing when PortAudio cannot start.
    static std::shared_ptr<PortAudioLibrary> acquire();
    ~PortAudioLibrary();

    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

    // PortAudio is not safe for concurrent opens, closes and device queries.
    static std::mutex& apiMutex();

private:
    PortAudioLibrary() = default;
};

}  // namespace ostrel::audio
