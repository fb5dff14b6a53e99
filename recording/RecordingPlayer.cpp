#include "recording/RecordingPlayer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "audio/WaveHeader.h"
#include "recording/RecordingFormat.h"
#include "sync/ThreadMessages.h"

namespace ostrel::recording {

RecordingPlayer::RecordingPlayer(audio::WaveBackend& backend, PlayerEvents& events,
                                 audio::WaveOutDevice::AlertSilencer silencer)
    : events_(events),
      codec_(audio::SpeechCodec::create()),
      device_(kBlockSamples, 8000, 1, 16, backend, std::move(silencer)) {}

RecordingPlayer::~RecordingPlayer() {
    closeFile();
}

RecordingPlayer::OpenResult RecordingPlayer::open(const std::string& path) {
    closeFile();
    if (!cursor_.open(path, kCodedBlockBytes)) {
        return OpenResult::Failed;
    }
    playable_ = isWellFormedLength(cursor_.size());
    return playable_ ? OpenResult::Opened : OpenResult::Corrupted;
}

void RecordingPlayer::closeFile() {
    stop();
    cursor_.close();
    playable_ = false;
}

bool RecordingPlayer::start() {
    if (!playable_ || playerThread_ || !codec_) {
        return false;
    }
    if (!cursor_.next()) {
        cursor_.rewind();
    } else {
        cursor_.prev();
    }
    // Also true after a stop, which rewinds while the slider still shows where it ended.
    const bool fromStart = cursor_.offset() == 0;
    finishedReported_.store(false);
    playerThread_ = std::make_unique<sync::CWorkerThread>([this](void*) { return runPlayer(); },
                                                          nullptr, "Player thread for OstrelDlg");
    // Waits only for the thread's queue, so that a pause right away reaches it.
    if (!playerThread_->Start(true)) {
        playerThread_.reset();
    }
    return fromStart;
}

void RecordingPlayer::pause() {
    if (!playerThread_) {
        return;
    }
    sync::postThreadMessage(playerThread_->GetThreadId(), kPlayerStopMessage);
    playerThread_->Wait(sync::kInfinite);
    playerThread_.reset();
}

void RecordingPlayer::stop() {
    pause();
    cursor_.rewind();
}

void RecordingPlayer::seekToPercent(int percent) {
    if (!cursor_.isOpen()) {
        return;
    }
    if (percent <= 0) {
        cursor_.rewind();
        return;
    }
    cursor_.seekRecord(cursor_.recordCount() * static_cast<size_t>(percent) / 100);
}

uint32_t RecordingPlayer::runPlayer() {
    sync::ensureMessageQueue();
    playerThread_->SignalStarted();
    // A device that does not open still takes four buffers and never completes them: the
    // playback then hangs silent until Pause or Stop, which end it as usual.
    device_.open(sync::currentThreadId());
    slaveThread_ = std::make_unique<sync::CWorkerThread>(
        [this](void*) { return runSlave(); }, nullptr, "Player Slave Thread of COstrelDlg");
    const bool slaveRuns = slaveThread_->Start(true);

    bool first = true;
    sync::ThreadMessage message;
    while (sync::getMessage(message)) {
        if (message.message == kPlayerStopMessage) {
            break;
        }
        if (message.message != sync::MM_WOM_DONE) {
            continue;
        }
        if (first) {
            events_.firstBlockPlayed();
            first = false;
        }
        const auto* header = reinterpret_cast<const audio::WaveHeader*>(message.lParam);
        if (header != nullptr && header->has(audio::WHDR_DONE) && header->data != nullptr) {
            events_.blockPlayed(std::span(reinterpret_cast<const int16_t*>(header->data),
                                          header->bufferLength / 2));
        }
        device_.releaseOldest();
        reportIfFinished();
        if (slaveRuns) {
            sync::postThreadMessage(slaveThread_->GetThreadId(), kPlayerRefillMessage);
        }
    }
    if (slaveRuns) {
        sync::postThreadMessage(slaveThread_->GetThreadId(), kPlayerStopMessage);
        slaveThread_->Wait(sync::kInfinite);
    }
    slaveThread_.reset();
    // The reset returns every queued buffer; their completions die with this thread's queue.
    device_.stop();
    device_.close();
    return 0;
}

uint32_t RecordingPlayer::runSlave() {
    sync::ensureMessageQueue();
    slaveThread_->SignalStarted();
    fill();
    sync::ThreadMessage message;
    while (sync::getMessage(message)) {
        if (message.message == kPlayerStopMessage) {
            break;
        }
        if (message.message == kPlayerRefillMessage) {
            fill();
            events_.progress(percentDone());
            // The last completion may have come before this thread stepped past the last block.
            reportIfFinished();
        }
    }
    return 0;
}

void RecordingPlayer::fill() {
    int16_t pcm[kBlockSamples];
    // At most four buffers (800 ms) wait in the device; a refused block stays under the
    // cursor and goes first at the next refill.
    while (const uint8_t* block = cursor_.record()) {
        // A frame the decoder rejects keeps what is here: silence, not the previous block.
        std::fill(std::begin(pcm), std::end(pcm), int16_t{0});
        size_t count = kCodedBlockBytes;
        codec_->decodeFrames(block, pcm, count);
        if (!device_.write(pcm)) {
            break;
        }
        cursor_.nextFrom(block);
    }
}

void RecordingPlayer::reportIfFinished() {
    if (cursor_.offset() >= cursor_.size() && device_.queuedCount() == 0 &&
        !finishedReported_.exchange(true)) {
        events_.finished();
    }
}

unsigned RecordingPlayer::percentDone() const {
    const double done = static_cast<double>(cursor_.offset()) / static_cast<double>(cursor_.size());
    return static_cast<unsigned>(std::floor(done * 100.0));
}

}  // namespace ostrel::recording
