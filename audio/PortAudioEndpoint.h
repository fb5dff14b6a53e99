// The sound card as an endpoint: the system's default input or output through PortAudio's
// blocking interface, which itself keeps the real pace. Opened on the owner's thread, then
// used by one pump or alert thread; PulseAudio or PipeWire serve it through their ALSA plugins.
#pragma once

#include <memory>

#include "audio/AudioFormat.h"
#include "audio/MmResult.h"
#include "audio/PortAudioLibrary.h"
#include "audio/RealTimePacer.h"
#include "audio/SampleEndpoint.h"
#include "audio/WaveBackend.h"

namespace ostrel::audio {

class PortAudioEndpoint final : public SampleEndpoint {
public:
    // MMSYSERR_BADDEVICEID when there is no default device, WAVERR_BADFORMAT for a format
    // it cannot take. A device that is busy right now is not reported here: the open decides.
    static MMRESULT query(PortAudioLibrary& library, WaveDirection direction,
                          const AudioFormat& format);
    // MMSYSERR_ALLOCATED when another program holds the device.
    static MMRESULT open(std::shared_ptr<PortAudioLibrary> library, WaveDirection direction,
                         const AudioFormat& format, std::unique_ptr<SampleEndpoint>& endpoint);
    ~PortAudioEndpoint() override;

    PortAudioEndpoint(const PortAudioEndpoint&) = delete;
    PortAudioEndpoint& operator=(const PortAudioEndpoint&) = delete;

    void begin() override;
    void transfer(uint8_t* data, size_t bytes) override;
    void end(bool drain) override;

private:
    PortAudioEndpoint(std::shared_ptr<PortAudioLibrary> library, void* stream,
                      WaveDirection direction, const AudioFormat& format);

    std::shared_ptr<PortAudioLibrary> library_;
    void* stream_;  // PaStream
    WaveDirection direction_;
    uint32_t bytesPerFrame_;
    bool started_ = false;
    // Takes over the pace if the card fails while open (unplugged), so the owner still gets
    // its buffers every 200 ms instead of a busy loop.
    bool failed_ = false;
    RealTimePacer fallback_;
};

}  // namespace ostrel::audio
