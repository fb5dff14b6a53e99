// Plays a recording file through a playback device: the player thread takes the device's
// completions, its slave thread decodes blocks straight from the mapped file and queues them.
// The main window's thread calls every public operation; the events come from the two threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "audio/SpeechCodec.h"
#include "audio/WaveBackend.h"
#include "audio/WaveOutDevice.h"
#include "recording/RecordFileCursor.h"
#include "sync/CWorkerThread.h"

namespace ostrel::recording {

inline constexpr std::string_view kOpenFailedText = "Failed to open the file";
inline constexpr std::string_view kCorruptedText = "The file is corrupted.";

// Thread messages of the two player threads.
inline constexpr uint32_t kPlayerStopMessage = 0x47B;
inline constexpr uint32_t kPlayerRefillMessage = 0x47C;

// Told about a running playback. None of these may block: they come from the player's threads.
class PlayerEvents {
public:
    virtual ~PlayerEvents() = default;
    // Slave thread, after each refill: how far the cursor is, 0 to 100.
    virtual void progress(unsigned percent) = 0;
    // Player thread, at the first completed buffer of a run (the client clicks then).
    virtual void firstBlockPlayed() = 0;
    // Player thread: the samples of a finished buffer, valid only during the call.
    virtual void blockPlayed(std::span<const int16_t> samples) = 0;
    // Player thread, once per run: the last block of the file has been heard. Progress
    // reaches 100 when the last block is queued, up to 800 ms earlier.
    virtual void finished() = 0;
};

class RecordingPlayer {
public:
    enum class OpenResult { Opened, Failed, Corrupted };

    // The silencer is the device's, used between failed open attempts.
    RecordingPlayer(audio::WaveBackend& backend, PlayerEvents& events,
                    audio::WaveOutDevice::AlertSilencer silencer = {});
    // Stops a playback and closes the file.
    ~RecordingPlayer();

    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    // Stops any playback and closes the previous file first. A corrupted file stays open
    // (and locked) but cannot be played.
    OpenResult open(const std::string& path);
    void closeFile();
    // Open with a well-formed length.
    bool isPlayable() const { return playable_; }
    bool isPlaying() const { return playerThread_ != nullptr; }

    // Starts the threads; at the end of the file it first goes back to the start. True when
    // the playback begins at the start (the slider goes to 0). Nothing happens without a playable
    // file or while playing.
    bool start();
    // Ends the threads; the cursor stays past the blocks that were queued.
    void pause();
    // Ends the threads and goes back to the start.
    void stop();
    // 0 rewinds; otherwise to block recordCount × percent / 100 when it exists.
    void seekToPercent(int percent);

    const RecordFileCursor& cursor() const { return cursor_; }

private:
    uint32_t runPlayer();
    uint32_t runSlave();
    void fill();
    unsigned percentDone() const;
    // Either thread: tells the end once, when the cursor is at the end and nothing is queued.
    void reportIfFinished();

    PlayerEvents& events_;
    RecordFileCursor cursor_;
    std::unique_ptr<audio::SpeechCodec> codec_;  // used by the slave thread only
    audio::WaveOutDevice device_;
    bool playable_ = false;
    std::atomic<bool> finishedReported_{false};
    std::unique_ptr<sync::CWorkerThread> playerThread_;
    std::unique_ptr<sync::CWorkerThread> slaveThread_;  // made and ended by the player thread
};

}  // namespace ostrel::recording
