#include "audio/test/AudioTest.h"

#include <cstring>

#include "audio/AlertPlayer.h"
#include "audio/AudioSelection.h"

namespace ostrel::audio {

namespace {

void silenceOwnAlerts() {
    AlertPlayer::instance().stop();
}

}  // namespace

AudioTest::AudioTest(BlockSink sink)
    : AudioTest(std::move(sink), processWaveBackend(), silenceOwnAlerts) {}

AudioTest::AudioTest(BlockSink sink, WaveBackend& backend, WaveOutDevice::AlertSilencer silencer)
    : sink_(std::move(sink)),
      silencer_(std::move(silencer)),
      capture_(kBlockSamples, kSampleRate, 1, 16, backend),
      playback_(kBlockSamples, kSampleRate, 1, 16, backend, silencer_) {}

AudioTest::~AudioTest() {
    close();
}

bool AudioTest::start() {
    recordThread_ =
        std::make_unique<sync::CWorkerThread>([this](void*) { return recordLoop(*recordThread_); },
                                              nullptr, "Record Thread for MicTest Dlg");
    playThread_ = std::make_unique<sync::CWorkerThread>(
        [this](void*) { return playLoop(*playThread_); }, nullptr, "Play Thread for MicTest Dlg");
    const bool recording = recordThread_->Start(true);
    const bool playing = playThread_->Start(true);
    return recording && playing;
}

uint32_t AudioTest::recordLoop(sync::CWorkerThread& self) {
    sync::ensureMessageQueue();
    capture_.open(self.GetThreadId());
    self.SignalStarted();
    sync::ThreadMessage message;
    while (sync::getMessage(message)) {
        if (message.message == kStopMessage) {
            break;
        }
        if (message.message != sync::MM_WIM_DATA || !capture_.isCurrentDone()) {
            continue;
        }
        std::memcpy(shared_.data(), capture_.currentData(), sizeof shared_);
        capture_.requeue();
        captured_.fetch_add(1);
        if (sink_ && !closing_.load()) {
            sink_(shared_);
        }
    }
    capture_.stop();
    return 0;
}

uint32_t AudioTest::playLoop(sync::CWorkerThread& self) {
    if (silencer_) {
        silencer_();
    }
    sync::ensureMessageQueue();
    playback_.open(self.GetThreadId());
    self.SignalStarted();
    sync::ThreadMessage message;
    while (sync::getMessage(message)) {
        if (message.message == kStopMessage) {
            break;
        }
        if (message.message == sync::MM_WOM_DONE) {
            playback_.releaseOldest();
        }
    }
    playback_.stop();
    return 0;
}

bool AudioTest::loopBack(const Block& block, bool playBack) {
    if (!playBack || closing_.load()) {
        return false;
    }
    if (!playback_.write(block.data())) {
        return false;
    }
    ++written_;
    return true;
}

bool AudioTest::threadsRunning() const {
    return (recordThread_ && recordThread_->IsRunning()) ||
           (playThread_ && playThread_->IsRunning());
}

void AudioTest::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    closing_.store(true);
    // The devices and the shared block must outlive both threads: stop and wait first.
    for (auto* thread : {recordThread_.get(), playThread_.get()}) {
        if (thread == nullptr || !thread->HasStarted()) {
            continue;
        }
        // A thread that has not made its queue yet is still starting; keep asking.
        while (!sync::postThreadMessage(thread->GetThreadId(), kStopMessage) &&
               thread->Wait(10) == sync::WaitResult::TimedOut) {
        }
        thread->Wait(sync::kInfinite);
    }
    capture_.close();
    playback_.close();
}

}  // namespace ostrel::audio
