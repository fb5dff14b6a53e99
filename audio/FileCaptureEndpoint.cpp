#include "audio/FileCaptureEndpoint.h"

#include <cstring>
#include <new>

#include "platform/Platform.h"

namespace ostrel::audio {

namespace {

constexpr int kRate = 8000;

std::string describe(const SF_INFO& info) {
    std::string subtype;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            subtype = "8-bit PCM";
            break;
        case SF_FORMAT_PCM_16:
            subtype = "16-bit PCM";
            break;
        case SF_FORMAT_PCM_24:
            subtype = "24-bit PCM";
            break;
        case SF_FORMAT_PCM_32:
            subtype = "32-bit PCM";
            break;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            subtype = "floating-point samples";
            break;
        default:
            subtype = "compressed samples";
            break;
    }
    return std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
           (info.channels == 1 ? " channel, " : " channels, ") + subtype;
}

}  // namespace

std::unique_ptr<FileCaptureEndpoint> FileCaptureEndpoint::open(const std::string& path,
                                                               std::string& problem) {
    const std::string needed = "it must be a WAV file of 8000 Hz, mono, 16-bit PCM";
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        problem = "ostrel: cannot read the capture file \"" + path + "\" (" + sf_strerror(nullptr) +
                  "); " + needed;
        return nullptr;
    }
    const bool pcm16 = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    const bool wav = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
    if (!wav || !pcm16 || info.channels != 1 || info.samplerate != kRate) {
        problem = "ostrel: the capture file \"" + path + "\" has " + describe(info) +
                  (wav ? "" : " and is not a WAV file") + "; " + needed;
        sf_close(file);
        return nullptr;
    }
    return std::unique_ptr<FileCaptureEndpoint>(new FileCaptureEndpoint(file));
}

FileCaptureEndpoint::FileCaptureEndpoint(SNDFILE* file)
    : file_(file), pacer_(kRate, RealTimePacer::Mode::CatchUp) {}

FileCaptureEndpoint::~FileCaptureEndpoint() {
    sf_close(file_);
}

void FileCaptureEndpoint::begin() {
    pacer_.start();
}

RealTimePacer::Clock::time_point FileCaptureEndpoint::move(uint8_t* data, size_t bytes) {
    const size_t frames = bytes / sizeof(int16_t);
    size_t got = 0;
    if (!exhausted_) {
        // The pieces are whole 16-bit frames at an even offset of the device's buffer.
        auto* samples = reinterpret_cast<int16_t*>(data);
        const sf_count_t n = sf_readf_short(file_, samples, static_cast<sf_count_t>(frames));
        got = n > 0 ? static_cast<size_t>(n) : 0;
        if (got < frames) {
            exhausted_ = true;
            platform::trace("capture file ended; silence from here on");
        }
    }
    std::memset(data + got * sizeof(int16_t), 0, bytes - got * sizeof(int16_t));
    return pacer_.due(frames);
}

void FileCaptureEndpoint::end(bool) {}

}  // namespace ostrel::audio
