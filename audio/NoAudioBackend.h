// The wave mapper of OSTREL_AUDIO=none: there is no device, so every query and every open
// fails at once with MMSYSERR_NODRIVER and the owners take their failure paths. Stateless;
// any thread may call it.
#pragma once

#include "audio/WaveBackend.h"

namespace ostrel::audio {

class NoAudioBackend final : public WaveBackend {
public:
    MMRESULT queryFormat(WaveDirection direction, const AudioFormat& format) override;
    MMRESULT open(WaveDirection direction, const AudioFormat& format, sync::ThreadId callbackThread,
                  std::unique_ptr<WaveStream>& stream) override;
};

}  // namespace ostrel::audio
