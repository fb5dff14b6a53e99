// The wave mapper on the sound card: the system's default input and output through
// PortAudio, each open device pumped by a thread of its own. Any thread may query and open;
// PortAudio starts at the first use and stays up as long as the backend exists.
#pragma once

#include <memory>
#include <mutex>

#include "audio/PortAudioLibrary.h"
#include "audio/WaveBackend.h"

namespace ostrel::audio {

class PortAudioBackend final : public WaveBackend {
public:
    MMRESULT queryFormat(WaveDirection direction, const AudioFormat& format) override;
    MMRESULT open(WaveDirection direction, const AudioFormat& format, sync::ThreadId callbackThread,
                  std::unique_ptr<WaveStream>& stream) override;

private:
    std::shared_ptr<PortAudioLibrary> library();

    std::mutex mutex_;  // guards library_
    std::shared_ptr<PortAudioLibrary> library_;
};

}  // namespace ostrel::audio
