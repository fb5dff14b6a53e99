#include "audio/PortAudioEndpoint.h"

#include <portaudio.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace ostrel::audio {

namespace {

bool sampleFormatFor(const AudioFormat& format, PaSampleFormat& out) {
    if (format.formatTag != WAVE_FORMAT_PCM || format.channels == 0 ||
        format.samplesPerSecond == 0) {
        return false;
    }
    if (format.bitsPerSample == 16) {
        out = paInt16;
        return true;
    }
    if (format.bitsPerSample == 8) {
        out = paUInt8;  // 8-bit wave PCM is unsigned
        return true;
    }
    return false;
}

bool parametersFor(WaveDirection direction, const AudioFormat& format,
                   PaStreamParameters& parameters) {
    PaSampleFormat sampleFormat = 0;
    if (!sampleFormatFor(format, sampleFormat)) {
        return false;
    }
    const PaDeviceIndex device = direction == WaveDirection::Capture ? Pa_GetDefaultInputDevice()
                                                                     : Pa_GetDefaultOutputDevice();
    parameters = PaStreamParameters{};
    parameters.device = device;
    parameters.channelCount = format.channels;
    parameters.sampleFormat = sampleFormat;
    if (device != paNoDevice) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        // The high latency of the default device: the devices queue 800 ms themselves, and
        // a larger host buffer keeps a loaded desktop from dropping pieces.
        parameters.suggestedLatency = info == nullptr ? 0.1
                                      : direction == WaveDirection::Capture
                                          ? info->defaultHighInputLatency
                                          : info->defaultHighOutputLatency;
    }
    return true;
}

MMRESULT resultOf(PaError error) {
    switch (error) {
        case paNoError:
            return MMSYSERR_NOERROR;
        case paInvalidDevice:
        case paNoDevice:
            return MMSYSERR_BADDEVICEID;
        case paDeviceUnavailable:
            return MMSYSERR_ALLOCATED;
        case paInvalidChannelCount:
        case paInvalidSampleRate:
        case paSampleFormatNotSupported:
            return WAVERR_BADFORMAT;
        case paInsufficientMemory:
            return MMSYSERR_NOMEM;
        case paUnanticipatedHostError: {
            const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
            if (host != nullptr && host->errorCode == -EBUSY) {
                return MMSYSERR_ALLOCATED;
            }
            return MMSYSERR_ERROR;
        }
        default:
            return MMSYSERR_ERROR;
    }
}

}  // namespace

MMRESULT PortAudioEndpoint::query(PortAudioLibrary&, WaveDirection direction,
                                  const AudioFormat& format) {
    std::lock_guard lock(PortAudioLibrary::apiMutex());
    PaStreamParameters parameters;
    if (!parametersFor(direction, format, parameters)) {
        return WAVERR_BADFORMAT;
    }
    if (parameters.device == paNoDevice) {
        return MMSYSERR_BADDEVICEID;
    }
    const PaStreamParameters* in = direction == WaveDirection::Capture ? &parameters : nullptr;
    const PaStreamParameters* out = direction == WaveDirection::Playback ? &parameters : nullptr;
    const PaError error = Pa_IsFormatSupported(in, out, format.samplesPerSecond);
    const MMRESULT result = error == paFormatIsSupported ? MMSYSERR_NOERROR : resultOf(error);
    // ALSA answers the question by opening the device; a busy one is for the open attempts
    // (and their retries) to find out.
    if (result == MMSYSERR_ALLOCATED || result == MMSYSERR_ERROR) {
        return MMSYSERR_NOERROR;
    }
    return result;
}

MMRESULT PortAudioEndpoint::open(std::shared_ptr<PortAudioLibrary> library, WaveDirection direction,
                                 const AudioFormat& format,
                                 std::unique_ptr<SampleEndpoint>& endpoint) {
    std::lock_guard lock(PortAudioLibrary::apiMutex());
    PaStreamParameters parameters;
    if (!parametersFor(direction, format, parameters)) {
        return WAVERR_BADFORMAT;
    }
    if (parameters.device == paNoDevice) {
        return MMSYSERR_BADDEVICEID;
    }
    const PaStreamParameters* in = direction == WaveDirection::Capture ? &parameters : nullptr;
    const PaStreamParameters* out = direction == WaveDirection::Playback ? &parameters : nullptr;
    PaStream* stream = nullptr;
    // 20 ms host periods match the pieces the pump moves.
    const PaError error = Pa_OpenStream(&stream, in, out, format.samplesPerSecond,
                                        format.samplesPerSecond / 50, paClipOff, nullptr, nullptr);
    if (error != paNoError) {
        platform::trace(std::string("PortAudio open failed: ") + Pa_GetErrorText(error));
        return resultOf(error);
    }
    endpoint.reset(new PortAudioEndpoint(std::move(library), stream, direction, format));
    return MMSYSERR_NOERROR;
}

PortAudioEndpoint::PortAudioEndpoint(std::shared_ptr<PortAudioLibrary> library, void* stream,
                                     WaveDirection direction, const AudioFormat& format)
    : library_(std::move(library)),
      stream_(stream),
      direction_(direction),
      bytesPerFrame_(format.blockAlignment == 0 ? 1 : format.blockAlignment),
      fallback_(format.samplesPerSecond, direction == WaveDirection::Capture
                                             ? RealTimePacer::Mode::CatchUp
                                             : RealTimePacer::Mode::Restart) {}

PortAudioEndpoint::~PortAudioEndpoint() {
    std::lock_guard lock(PortAudioLibrary::apiMutex());
    if (started_) {
        Pa_AbortStream(stream_);
    }
    Pa_CloseStream(stream_);
}

void PortAudioEndpoint::begin() {
    fallback_.start();
    if (started_) {
        return;
    }
    const PaError error = Pa_StartStream(stream_);
    started_ = error == paNoError;
    failed_ = !started_;
    if (failed_) {
        platform::trace(std::string("PortAudio start failed: ") + Pa_GetErrorText(error));
    }
}

void PortAudioEndpoint::transfer(uint8_t* data, size_t bytes) {
    const unsigned long frames = static_cast<unsigned long>(bytes / bytesPerFrame_);
    if (!failed_) {
        const PaError error = direction_ == WaveDirection::Capture
                                  ? Pa_ReadStream(stream_, data, frames)
                                  : Pa_WriteStream(stream_, data, frames);
        // An overflow or underflow only means the host buffer ran over or dry meanwhile.
        if (error == paNoError || error == paInputOverflowed || error == paOutputUnderflowed) {
            return;
        }
        platform::trace(std::string("PortAudio stream failed: ") + Pa_GetErrorText(error));
        failed_ = true;
        fallback_.start();
    }
    if (direction_ == WaveDirection::Capture) {
        std::memset(data, 0, bytes);
    }
    fallback_.advance(frames);
}

void PortAudioEndpoint::end(bool drain) {
    if (!started_) {
        return;
    }
    if (drain) {
        Pa_StopStream(stream_);
    } else {
        Pa_AbortStream(stream_);
    }
    started_ = false;
}

}  // namespace ostrel::audio
