#include "tests/recording/RecordingTestFiles.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>

#include "audio/SpeechCodec.h"
#include "audio/WaveHeader.h"
#include "recording/RecordingFormat.h"
#include "sync/ThreadMessages.h"

namespace ostrel::recording::testing {

namespace {

constexpr double kPi = 3.14159265358979323846;
// 300, 550, 800 ... Hz: a quarter kilohertz apart, all inside the telephone band for up to
// eleven blocks.
double toneFrequency(int index) {
    return 300.0 + 250.0 * (index % 12);
}

}  // namespace

std::vector<int16_t> toneBlock(int index) {
    std::vector<int16_t> samples(kBlockSamples);
    const double f = toneFrequency(index);
    for (uint32_t i = 0; i < kBlockSamples; ++i) {
        samples[i] = static_cast<int16_t>(8000.0 * std::sin(2.0 * kPi * f * i / 8000.0));
    }
    return samples;
}

int identifyBlock(const int16_t* samples, size_t count) {
    // The decoder needs a frame to settle after a jump between blocks.
    const size_t from = count > 320 ? 320 : 0;
    int crossings = 0;
    for (size_t i = from + 1; i < count; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            ++crossings;
        }
    }
    const double seconds = static_cast<double>(count - from) / 8000.0;
    const double frequency = crossings / (2.0 * seconds);
    int best = 0;
    for (int i = 1; i < 12; ++i) {
        if (std::abs(toneFrequency(i) - frequency) < std::abs(toneFrequency(best) - frequency)) {
            best = i;
        }
    }
    return best;
}

std::vector<uint8_t> codeBlocks(const std::vector<std::vector<int16_t>>& blocks) {
    auto codec = audio::SpeechCodec::create();
    std::vector<uint8_t> out;
    for (const auto& block : blocks) {
        uint8_t coded[kCodedBlockBytes];
        size_t count = kBlockSamples;
        codec->encodeFrames(block.data(), count, coded);
        out.insert(out.end(), coded, coded + count);
    }
    return out;
}

bool writeToneRecording(const std::string& path, int blocks) {
    std::vector<std::vector<int16_t>> pcm;
    for (int i = 0; i < blocks; ++i) {
        pcm.push_back(toneBlock(i));
    }
    const std::vector<uint8_t> bytes = codeBlocks(pcm);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool writeBytes(const std::string& path, size_t count, uint8_t value) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::vector<char> bytes(count, static_cast<char>(value));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> decodeRecording(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    if (bytes.empty() || !isWellFormedLength(bytes.size())) {
        return {};
    }
    auto codec = audio::SpeechCodec::create();
    const size_t blocks = bytes.size() / kCodedBlockBytes;
    std::vector<int16_t> pcm(blocks * kBlockSamples);
    for (size_t b = 0; b < blocks; ++b) {
        size_t count = kCodedBlockBytes;
        if (!codec->decodeFrames(bytes.data() + b * kCodedBlockBytes,
                                 pcm.data() + b * kBlockSamples, count)) {
            return {};
        }
    }
    return pcm;
}

namespace {

class ManualStream final : public audio::WaveStream {
public:
    ManualStream(ManualPlaybackBackend& backend, sync::ThreadId thread)
        : backend_(backend), thread_(thread) {}
    ~ManualStream() override { backend_.resetStream(); }

    audio::MMRESULT prepare(audio::WaveHeader& h) override {
        h.flags.fetch_or(audio::WHDR_PREPARED);
        return audio::MMSYSERR_NOERROR;
    }
    audio::MMRESULT unprepare(audio::WaveHeader& h) override {
        h.flags.fetch_and(~audio::WHDR_PREPARED);
        return audio::MMSYSERR_NOERROR;
    }
    audio::MMRESULT queue(audio::WaveHeader& h) override {
        backend_.queued(h, thread_);
        return audio::MMSYSERR_NOERROR;
    }
    audio::MMRESULT start() override { return audio::MMSYSERR_NOERROR; }
    audio::MMRESULT reset() override {
        backend_.resetStream();
        return audio::MMSYSERR_NOERROR;
    }
    audio::MMRESULT close() override { return audio::MMSYSERR_NOERROR; }

private:
    ManualPlaybackBackend& backend_;
    sync::ThreadId thread_;
};

}  // namespace

audio::MMRESULT ManualPlaybackBackend::queryFormat(audio::WaveDirection,
                                                   const audio::AudioFormat& format) {
    return format.isClientPcm() ? audio::MMSYSERR_NOERROR : audio::WAVERR_BADFORMAT;
}

audio::MMRESULT ManualPlaybackBackend::open(audio::WaveDirection, const audio::AudioFormat&,
                                            sync::ThreadId callbackThread,
                                            std::unique_ptr<audio::WaveStream>& stream) {
    std::lock_guard lock(mutex_);
    ++opens_;
    if (openResult != audio::MMSYSERR_NOERROR) {
        return openResult;
    }
    callbackThread_ = callbackThread;
    stream = std::make_unique<ManualStream>(*this, callbackThread);
    return audio::MMSYSERR_NOERROR;
}

void ManualPlaybackBackend::queued(audio::WaveHeader& header, sync::ThreadId) {
    std::lock_guard lock(mutex_);
    header.flags.store((header.flags.load() & ~audio::WHDR_DONE) | audio::WHDR_INQUEUE);
    history_.push_back(
        identifyBlock(reinterpret_cast<const int16_t*>(header.data), header.bufferLength / 2));
    waiting_.push_back(&header);
    changed_.notify_all();
}

void ManualPlaybackBackend::resetStream() {
    std::lock_guard lock(mutex_);
    // As a device reset: the buffers come back as done; their completions are posted.
    for (audio::WaveHeader* h : waiting_) {
        h->flags.store((h->flags.load() & ~audio::WHDR_INQUEUE) | audio::WHDR_DONE);
        sync::postThreadMessage(callbackThread_, sync::MM_WOM_DONE, 0,
                                reinterpret_cast<intptr_t>(h));
    }
    waiting_.clear();
    changed_.notify_all();
}

bool ManualPlaybackBackend::completeNext() {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) {
        return false;
    }
    audio::WaveHeader* h = waiting_.front();
    waiting_.pop_front();
    h->flags.store((h->flags.load() & ~audio::WHDR_INQUEUE) | audio::WHDR_DONE);
    sync::postThreadMessage(callbackThread_, sync::MM_WOM_DONE, 0, reinterpret_cast<intptr_t>(h));
    changed_.notify_all();
    return true;
}

bool ManualPlaybackBackend::waitQueuedTotal(size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return history_.size() >= count; });
}

size_t ManualPlaybackBackend::queuedNow() {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

std::vector<int> ManualPlaybackBackend::queuedBlocks() {
    std::lock_guard lock(mutex_);
    return history_;
}

int ManualPlaybackBackend::opens() {
    std::lock_guard lock(mutex_);
    return opens_;
}

}  // namespace ostrel::recording::testing
