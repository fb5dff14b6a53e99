#include "audio/FilePlaybackEndpoint.h"

namespace ostrel::audio {

FilePlaybackEndpoint::FilePlaybackEndpoint(std::shared_ptr<WavFileWriter> writer)
    : writer_(std::move(writer)), pacer_(8000, RealTimePacer::Mode::Restart) {}

void FilePlaybackEndpoint::begin() {
    pacer_.start();
}

RealTimePacer::Clock::time_point FilePlaybackEndpoint::move(uint8_t* data, size_t bytes) {
    const size_t frames = bytes / sizeof(int16_t);
    writer_->write(reinterpret_cast<const int16_t*>(data), frames);
    return pacer_.due(frames);
}

void FilePlaybackEndpoint::end(bool) {}

}  // namespace ostrel::audio
