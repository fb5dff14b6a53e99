// Audio for the voice tests: tone files written and read back through libsndfile (an
// independent WAV reader and writer), the audible stretch of a recording, and a scratch folder
// per test. Which tones a recording holds is measured with tests/support/ToneMeter.h.
#pragma once

#include <sndfile.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace enginetest {

inline constexpr int kRate = 8000;

// `seconds` of a sine at `hz` and `amplitude`, then `silence` seconds of zeros.
inline std::vector<int16_t> tone(double hz, double seconds, double amplitude = 8000,
                                 double silence = 0) {
    const auto n = static_cast<size_t>(seconds * kRate);
    std::vector<int16_t> s(n + static_cast<size_t>(silence * kRate), 0);
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * double(i) / kRate));
    }
    return s;
}

inline void writeWav(const std::string& path, const std::vector<int16_t>& samples) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
}

inline std::vector<int16_t> readWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        return {};
    }
    std::vector<int16_t> s(static_cast<size_t>(info.frames));
    sf_read_short(f, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
    return s;
}

// The loudest stretch of a recording: playback files start with the silence before the call.
inline std::vector<int16_t> audiblePart(const std::vector<int16_t>& s) {
    size_t first = 0;
    while (first < s.size() && std::abs(s[first]) < 500) {
        ++first;
    }
    size_t last = s.size();
    while (last > first && std::abs(s[last - 1]) < 500) {
        --last;
    }
    return {s.begin() + static_cast<long>(first), s.begin() + static_cast<long>(last)};
}

class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-voice-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("no scratch folder");
        }
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace enginetest
