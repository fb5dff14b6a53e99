// Test material for the recorder and the player: tone blocks that stay recognisable through
// GSM coding, recording files made from them with the project's codec, and a playback
// backend whose buffers complete only when the test says so (safe across threads).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveBackend.h"

namespace ostrel::recording::testing {

// Block i of a test recording: a tone whose frequency names the block.
std::vector<int16_t> toneBlock(int index);
// The index whose tone frequency is nearest to that of the samples (zero crossings).
int identifyBlock(const int16_t* samples, size_t count);

// Codes `blocks` tone blocks (0, 1, ...) into a recording file with a fresh codec.
bool writeToneRecording(const std::string& path, int blocks);
bool writeBytes(const std::string& path, size_t count, uint8_t value = 0);
std::vector<uint8_t> readBytes(const std::string& path);
// Decodes a whole recording file with a fresh codec; empty when it is not a whole number of
// coded blocks or a block does not decode.
std::vector<int16_t> decodeRecording(const std::string& path);
// Codes PCM blocks of 1600 samples with a fresh codec, as a recording holds them.
std::vector<uint8_t> codeBlocks(const std::vector<std::vector<int16_t>>& blocks);

// A playback device backend for the player's threads: every queued buffer's samples are kept
// in order; `completeNext` finishes the oldest queued one as the speaker would.
class ManualPlaybackBackend final : public audio::WaveBackend {
public:
    audio::MMRESULT openResult = audio::MMSYSERR_NOERROR;

    audio::MMRESULT queryFormat(audio::WaveDirection direction,
                                const audio::AudioFormat& format) override;
    audio::MMRESULT open(audio::WaveDirection direction, const audio::AudioFormat& format,
                         sync::ThreadId callbackThread,
                         std::unique_ptr<audio::WaveStream>& stream) override;

    bool completeNext();
    // Blocks the caller until `count` buffers were queued in all (or the time-out passed).
    bool waitQueuedTotal(size_t count, int timeoutMs = 5000);
    size_t queuedNow();
    // The block index of every buffer queued so far, in order.
    std::vector<int> queuedBlocks();
    int opens();

    // Used by the stream.
    void queued(audio::WaveHeader& header, sync::ThreadId thread);
    void resetStream();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<audio::WaveHeader*> waiting_;
    std::vector<int> history_;
    sync::ThreadId callbackThread_ = 0;
    int opens_ = 0;
};

}  // namespace ostrel::recording::testing
