#include "audio/FileBackend.h"

#include <cstdio>

#include "audio/DiscardEndpoint.h"
#include "audio/FileCaptureEndpoint.h"
#include "audio/FilePlaybackEndpoint.h"
#include "audio/PumpedWaveStream.h"

namespace ostrel::audio {

FileBackend::FileBackend(std::string capturePath, std::string playbackPath, Reporter report)
    : capturePath_(std::move(capturePath)),
      playbackPath_(std::move(playbackPath)),
      report_(std::move(report)) {
    if (!report_) {
        report_ = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    }
}

std::shared_ptr<WavFileWriter> FileBackend::playbackWriter(std::string& problem) {
    std::lock_guard lock(writerMutex_);
    if (!writer_) {
        writer_ = WavFileWriter::create(playbackPath_, 8000, problem);
    }
    return writer_;
}

MMRESULT FileBackend::queryFormat(WaveDirection direction, const AudioFormat& format) {
    // Both files are 8000 Hz mono 16-bit, and so is every device of the client.
    if (!format.isClientPcm()) {
        return WAVERR_BADFORMAT;
    }
    std::string problem;
    if (direction == WaveDirection::Capture && !capturePath_.empty()) {
        // Checked here so that a wrong file fails the open at once, without retries.
        if (!FileCaptureEndpoint::open(capturePath_, problem)) {
            report_(problem);
            return WAVERR_BADFORMAT;
        }
    }
    if (direction == WaveDirection::Playback && !playbackPath_.empty()) {
        if (!playbackWriter(problem)) {
            report_(problem);
            return MMSYSERR_NODRIVER;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT FileBackend::open(WaveDirection direction, const AudioFormat& format,
                           sync::ThreadId callbackThread, std::unique_ptr<WaveStream>& stream) {
    if (!format.isClientPcm()) {
        return WAVERR_BADFORMAT;
    }
    std::unique_ptr<SampleEndpoint> endpoint;
    std::string problem;
    if (direction == WaveDirection::Capture) {
        if (capturePath_.empty()) {
            endpoint = std::make_unique<DiscardEndpoint>(direction, 8000, 2);
        } else {
            endpoint = FileCaptureEndpoint::open(capturePath_, problem);
        }
    } else if (playbackPath_.empty()) {
        endpoint = std::make_unique<DiscardEndpoint>(direction, 8000, 2);
    } else if (auto writer = playbackWriter(problem)) {
        endpoint = std::make_unique<FilePlaybackEndpoint>(std::move(writer));
    }
    if (!endpoint) {
        report_(problem);
        return MMSYSERR_NODRIVER;
    }
    stream =
        std::make_unique<PumpedWaveStream>(direction, format, std::move(endpoint), callbackThread);
    return MMSYSERR_NOERROR;
}

}  // namespace ostrel::audio
