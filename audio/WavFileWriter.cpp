#include "audio/WavFileWriter.h"

#include "platform/Platform.h"

namespace ostrel::audio {

std::shared_ptr<WavFileWriter> WavFileWriter::create(const std::string& path, uint32_t sampleRate,
                                                     std::string& problem) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        problem =
            "ostrel: cannot create the playback file \"" + path + "\": " + sf_strerror(nullptr);
        return nullptr;
    }
    return std::shared_ptr<WavFileWriter>(new WavFileWriter(file, path));
}

WavFileWriter::~WavFileWriter() {
    sf_close(file_);
}

void WavFileWriter::write(const int16_t* frames, size_t count) {
    std::lock_guard lock(mutex_);
    const sf_count_t written = sf_writef_short(file_, frames, static_cast<sf_count_t>(count));
    if (written != static_cast<sf_count_t>(count)) {
        platform::trace("playback file " + path_ + ": " + sf_strerror(file_));
    }
    // Rewriting the header after every 20 ms piece cost as much CPU as the whole engine;
    // once per 200 ms block keeps the file readable while the client runs.
    framesSinceHeader_ += count;
    if (framesSinceHeader_ >= kFramesPerHeaderUpdate) {
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        framesSinceHeader_ = 0;
    }
}

}  // namespace ostrel::audio
