// WAV files for the audio tests, written and read back through libsndfile, an independent
// reader and writer of the format; plus a fresh scratch folder per test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::audio::testing {

struct WavContents {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;  // libsndfile's major and sub format
    std::vector<int16_t> samples;
};

// Writes 16-bit samples in any format libsndfile can make (SF_FORMAT_WAV | SF_FORMAT_PCM_16...).
bool writeWav(const std::string& path, const std::vector<int16_t>& samples, int sampleRate,
              int channels, int format);
WavContents readWav(const std::string& path);

// A pattern that differs from sample to sample and from silence.
std::vector<int16_t> pattern(size_t count, int seed = 0);

// A new empty folder under the temporary folder; removed by the destructor.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace ostrel::audio::testing
