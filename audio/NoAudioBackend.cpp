#include "audio/NoAudioBackend.h"

namespace ostrel::audio {

MMRESULT NoAudioBackend::queryFormat(WaveDirection, const AudioFormat&) {
    return MMSYSERR_NODRIVER;
}

MMRESULT NoAudioBackend::open(WaveDirection, const AudioFormat&, sync::ThreadId,
                              std::unique_ptr<WaveStream>& stream) {
    stream.reset();
    return MMSYSERR_NODRIVER;
}

}  // namespace ostrel::audio
