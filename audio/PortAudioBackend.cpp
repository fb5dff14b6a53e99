#include "audio/PortAudioBackend.h"

#include "audio/PortAudioEndpoint.h"
#include "audio/PumpedWaveStream.h"

namespace ostrel::audio {

std::shared_ptr<PortAudioLibrary> PortAudioBackend::library() {
    std::lock_guard lock(mutex_);
    if (!library_) {
        library_ = PortAudioLibrary::acquire();
    }
    return library_;
}

MMRESULT PortAudioBackend::queryFormat(WaveDirection direction, const AudioFormat& format) {
    auto running = library();
    if (!running) {
        return MMSYSERR_NODRIVER;
    }
    return PortAudioEndpoint::query(*running, direction, format);
}

MMRESULT PortAudioBackend::open(WaveDirection direction, const AudioFormat& format,
                                sync::ThreadId callbackThread,
                                std::unique_ptr<WaveStream>& stream) {
    auto running = library();
    if (!running) {
        return MMSYSERR_NODRIVER;
    }
    std::unique_ptr<SampleEndpoint> endpoint;
    const MMRESULT result = PortAudioEndpoint::open(running, direction, format, endpoint);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    stream =
        std::make_unique<PumpedWaveStream>(direction, format, std::move(endpoint), callbackThread);
    return MMSYSERR_NOERROR;
}

}  // namespace ostrel::audio
