// The playback file: one WAV of 8000 Hz mono 16-bit PCM that every playback device of the
// process appends to, in the order the buffers were played. Any thread may write; the header
// is brought up to date after every 200 ms block written, so the file is readable while the
// client runs.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace ostrel::audio {

class WavFileWriter {
public:
    // Creates (or empties) the file; nothing and a reason in `problem` when it cannot.
    static std::shared_ptr<WavFileWriter> create(const std::string& path, uint32_t sampleRate,
                                                 std::string& problem);
    ~WavFileWriter();

    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Appends whole 16-bit mono frames.
    void write(const int16_t* frames, size_t count);

    const std::string& path() const { return path_; }

private:
    WavFileWriter(SNDFILE* file, std::string path) : file_(file), path_(std::move(path)) {}

    static constexpr size_t kFramesPerHeaderUpdate = 1600;

    std::mutex mutex_;  // guards file_ and framesSinceHeader_ between devices writing at once
    SNDFILE* file_;
    size_t framesSinceHeader_ = 0;
    std::string path_;
};

}  // namespace ostrel::audio
