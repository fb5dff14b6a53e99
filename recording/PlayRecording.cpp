#include "recording/PlayRecording.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "recording/RecordingPlayer.h"

namespace ostrel::recording {

namespace {

class WaitingEvents final : public PlayerEvents {
public:
    void progress(unsigned) override {}
    void firstBlockPlayed() override {}
    void blockPlayed(std::span<const int16_t>) override {
        std::lock_guard lock(mutex_);
        ++heard_;
        changed_.notify_all();
    }
    void finished() override {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // True when the playback finished; false when no block finished for `stallMs`.
    bool waitForEnd(unsigned stallMs) {
        std::unique_lock lock(mutex_);
        for (;;) {
            const unsigned before = heard_;
            const bool moved = changed_.wait_for(lock, std::chrono::milliseconds(stallMs),
                                                 [&] { return finished_ || heard_ != before; });
            if (finished_) {
                return true;
            }
            if (!moved) {
                return false;
            }
        }
    }
    unsigned heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned heard_ = 0;
    bool finished_ = false;
};

}  // namespace

PlayOutcome playRecording(const std::string& path, audio::WaveBackend& backend, unsigned stallMs) {
    WaitingEvents events;
    PlayOutcome outcome;
    {
        RecordingPlayer player(backend, events);
        switch (player.open(path)) {
            case RecordingPlayer::OpenResult::Failed:
                outcome.result = PlayOutcome::OpenFailed;
                return outcome;
            case RecordingPlayer::OpenResult::Corrupted:
                outcome.result = PlayOutcome::Corrupted;
                return outcome;
            case RecordingPlayer::OpenResult::Opened:
                break;
        }
        player.start();
        outcome.result = events.waitForEnd(stallMs) ? PlayOutcome::Played : PlayOutcome::Stalled;
        player.stop();
    }
    outcome.blocksHeard = events.heard();
    return outcome;
}

std::string_view playOutcomeText(PlayOutcome::Result result) {
    switch (result) {
        case PlayOutcome::Played:
            return "Played";
        case PlayOutcome::OpenFailed:
            return kOpenFailedText;
        case PlayOutcome::Corrupted:
            return kCorruptedText;
        case PlayOutcome::Stalled:
            return "The playback device does not play";
    }
    return "";
}

}  // namespace ostrel::recording
