#include "audio/AlertPlayer.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/AudioSelection.h"
#include "platform/Platform.h"

namespace ostrel::audio {

namespace {

// 20 ms pieces, so that `stop` is answered within 20 ms.
size_t pieceFrames(uint32_t rate) {
    return std::max<size_t>(rate / 50, 1);
}

void transferAll(SampleEndpoint& output, std::vector<int16_t>& samples, size_t channels) {
    const size_t piece = pieceFrames(AlertPlayer::kToneRate) * channels;
    for (size_t at = 0; at < samples.size(); at += piece) {
        const size_t n = std::min(piece, samples.size() - at);
        output.transfer(reinterpret_cast<uint8_t*>(samples.data() + at), n * sizeof(int16_t));
    }
}

}  // namespace

AlertPlayer::AlertPlayer(OutputFactory outputs, std::string folder)
    : outputs_(std::move(outputs)), folder_(std::move(folder)) {
    thread_ = std::thread([this] { run(); });
}

AlertPlayer::~AlertPlayer() {
    stop();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

AlertPlayer& AlertPlayer::instance() {
    static AlertPlayer player(makeAlertOutputFactory(readAudioSelection()),
                              platform::programFolder());
    return player;
}

bool AlertPlayer::load(const std::string& fileName, Sound& sound) const {
    const std::string path = !fileName.empty() && fileName.front() == '/'
                                 ? fileName
                                 : platform::joinPath(folder_, fileName);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        platform::trace("alert sound " + path + ": " + sf_strerror(nullptr));
        return false;
    }
    const sf_count_t longest = static_cast<sf_count_t>(kLongestSoundSeconds) * info.samplerate;
    const sf_count_t frames = std::min(info.frames, longest);
    bool ok = info.channels > 0 && info.samplerate > 0 && frames > 0;
    if (ok) {
        sound.samples.resize(static_cast<size_t>(frames) * static_cast<size_t>(info.channels));
        const sf_count_t got = sf_readf_short(file, sound.samples.data(), frames);
        sound.samples.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0)) *
                             static_cast<size_t>(info.channels));
        sound.format = AudioFormat::pcm(static_cast<uint32_t>(info.samplerate),
                                        static_cast<uint32_t>(info.channels), 16);
        ok = !sound.samples.empty();
    }
    sf_close(file);
    return ok;
}

bool AlertPlayer::play(const std::string& fileName, unsigned flags) {
    if ((flags & kLoop) != 0 && (flags & kAsync) == 0) {
        return false;  // a looping sound that never returns would hang the caller
    }
    std::unique_lock call(callMutex_);
    {
        std::lock_guard lock(mutex_);
        if ((flags & kNoStop) != 0 && playing_) {
            return false;
        }
    }
    auto sound = std::make_shared<Sound>();
    if (!load(fileName, *sound)) {
        return false;
    }
    std::unique_lock lock(mutex_);
    // Silence first: on a card without mixing the current sound would hold the output.
    stopLocked(lock);
    lock.unlock();
    std::unique_ptr<SampleEndpoint> output = outputs_(sound->format);
    if (!output) {
        return false;
    }
    lock.lock();
    output_ = std::move(output);
    sound_ = std::move(sound);
    loop_ = (flags & kLoop) != 0;
    pending_ = true;
    playing_ = true;
    const uint64_t mine = ++started_;
    changed_.notify_all();
    call.unlock();
    if ((flags & kAsync) == 0) {
        changed_.wait(lock, [&] { return finished_ >= mine; });
    }
    return true;
}

void AlertPlayer::stop() {
    std::lock_guard call(callMutex_);
    std::unique_lock lock(mutex_);
    stopLocked(lock);
}

void AlertPlayer::stopLocked(std::unique_lock<std::mutex>& lock) {
    if (!playing_) {
        return;
    }
    abort_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !playing_; });
}

bool AlertPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return playing_;
}

bool AlertPlayer::beep(unsigned frequency, unsigned durationMs) {
    if (frequency < 37 || frequency > 32767) {
        return false;
    }
    const size_t count = static_cast<size_t>(kToneRate) * durationMs / 1000;
    if (count == 0) {
        return true;
    }
    std::vector<int16_t> tone(count, 0);
    // Above half the rate the tone is inaudible anyway; it stays silent rather than alias.
    if (frequency < kToneRate / 2) {
        // 5 ms ramps at both ends keep the tone from clicking.
        const size_t ramp = std::min<size_t>(kToneRate / 200, count / 2);
        const double step = 2.0 * std::numbers::pi * frequency / kToneRate;
        for (size_t i = 0; i < count; ++i) {
            double gain = 1.0;
            if (ramp > 0 && i < ramp) {
                gain = static_cast<double>(i) / ramp;
            } else if (ramp > 0 && count - i <= ramp) {
                gain = static_cast<double>(count - i - 1) / ramp;
            }
            tone[i] = static_cast<int16_t>(std::lround(12000.0 * gain * std::sin(step * i)));
        }
    }
    std::unique_ptr<SampleEndpoint> output = outputs_(AudioFormat::pcm(kToneRate, 1, 16));
    if (!output) {
        return false;
    }
    output->begin();
    transferAll(*output, tone, 1);
    output->end(true);
    return true;
}

void AlertPlayer::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || pending_; });
        if (quit_) {
            break;
        }
        pending_ = false;
        std::unique_ptr<SampleEndpoint> output = std::move(output_);
        std::shared_ptr<const Sound> sound = sound_;
        const bool loop = loop_;
        lock.unlock();

        const size_t channels = sound->format.channels;
        const size_t piece = pieceFrames(sound->format.samplesPerSecond) * channels;
        // The endpoint only reads the samples it is given; the copy keeps the sound const.
        std::vector<int16_t> chunk(piece);
        bool aborted = false;
        output->begin();
        do {
            for (size_t at = 0; at < sound->samples.size() && !aborted; at += piece) {
                {
                    std::lock_guard check(mutex_);
                    aborted = abort_;
                }
                if (aborted) {
                    break;
                }
                const size_t n = std::min(piece, sound->samples.size() - at);
                std::copy_n(sound->samples.begin() + static_cast<std::ptrdiff_t>(at), n,
                            chunk.begin());
                output->transfer(reinterpret_cast<uint8_t*>(chunk.data()), n * sizeof(int16_t));
            }
        } while (loop && !aborted);
        output->end(!aborted);
        output.reset();

        lock.lock();
        playing_ = false;
        abort_ = false;
        ++finished_;
        changed_.notify_all();
    }
}

}  // namespace ostrel::audio
