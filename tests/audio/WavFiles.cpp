#include "tests/audio/WavFiles.h"

#include <sndfile.h>

#include <filesystem>

#include "platform/Platform.h"

namespace ostrel::audio::testing {

bool writeWav(const std::string& path, const std::vector<int16_t>& samples, int sampleRate,
              int channels, int format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = sf_writef_short(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

WavContents readWav(const std::string& path) {
    WavContents contents;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return contents;
    }
    contents.sampleRate = info.samplerate;
    contents.channels = info.channels;
    contents.format = info.format;
    contents.samples.resize(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_short(file, contents.samples.data(), info.frames);
    contents.samples.resize(static_cast<size_t>(got * info.channels));
    sf_close(file);
    return contents;
}

std::vector<int16_t> pattern(size_t count, int seed) {
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        // Never 0, so a stretch of silence cannot pass for the file.
        out[i] = static_cast<int16_t>(((static_cast<int>(i) * 37 + seed * 1001) % 30000) + 1);
    }
    return out;
}

ScratchFolder::ScratchFolder()
    : path_(platform::joinPath(platform::tempFolder(), "ostrel-audio-" + platform::newGuidText())) {
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace ostrel::audio::testing
