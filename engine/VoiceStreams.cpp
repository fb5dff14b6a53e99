#include "engine/VoiceStreams.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/AlertPlayer.h"
#include "audio/AudioSelection.h"
#include "engine/FormatText.h"
#include "engine/NetCore.h"
#include "engine/VoiceActivity.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"
#include "sync/CSWMRG.h"
#include "sync/ThreadMessages.h"

namespace ostrel::engine {

using platform::UdpSocket;

namespace {

constexpr uint32_t kSampleRate = 8000;
constexpr uint32_t kChannels = 1;
constexpr uint32_t kBits = 16;
// Pacing of the receive-play thread: a pass about every 100 ms in a two-party call, so the
// mixer runs twice per 200 ms block and a block never waits long in a queue. In a conference
// the capture clock drives the mixer and the pass only waits for datagrams; that wait is
// held under the session list's read lock, so it is kept as short as a two-party pass: a
// three-second wait would hold a joining peer, a hang-up or Stop for up to three seconds.
constexpr uint32_t kPassPeriodMs = 100;
constexpr uint32_t kConferenceWaitMs = kPassPeriodMs;
constexpr uint32_t kRetryPostMs = 100;
constexpr uint32_t kMaxPlaybackQueued = 2;

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

VoiceStreams::VoiceStreams(NetCore& engine, audio::WaveBackend* backend)
    : engine_(engine),
      capture_(kBlockSamples, kSampleRate, kChannels, kBits,
               backend != nullptr ? *backend : audio::processWaveBackend()),
      playback_(kBlockSamples, kSampleRate, kChannels, kBits,
                backend != nullptr ? *backend : audio::processWaveBackend(),
                // An injected backend has no sound card, so there is no alert to silence.
                backend != nullptr ? audio::WaveOutDevice::AlertSilencer([] {})
                                   : audio::WaveOutDevice::AlertSilencer(
                                         [] { audio::AlertPlayer::instance().stop(); })),
      ownBackend_(backend == nullptr) {}

VoiceStreams::~VoiceStreams() {
    // Threads that are still running here were never asked to stop; wait for them anyway so
    // that none outlives the devices.
    if (recordSend_) {
        recordSend_->Wait(sync::kInfinite);
    }
    if (receivePlay_) {
        receivePlay_->Wait(sync::kInfinite);
    }
}

void VoiceStreams::start() {
    if (started_.exchange(true)) {
        return;
    }
    engine_.log("Starting Record-Send  thread");
    recordSend_ = std::make_unique<sync::CWorkerThread>(
        [this](void*) { return recordSendThread(); }, nullptr, "Record Send Thread for Netcore");
    recordSend_->Start(true);
    engine_.log("Starting Recv- Play thread");
    receivePlay_ = std::make_unique<sync::CWorkerThread>(
        [this](void*) { return receivePlayThread(); }, nullptr, "Receive Play Thread for Netcore");
    receivePlay_->Start(true);
}

bool VoiceStreams::postKeepAlive() {
    return recordSend_ && recordSend_->IsRunning() &&
           sync::postThreadMessage(recordSend_->GetThreadId(), kKeepAliveMessage);
}

void VoiceStreams::endRecordSend() {
    if (!recordSend_) {
        return;
    }
    // The thread may already have drained its queue and be leaving; a failed post then
    // needs no retry.
    sync::postThreadMessage(recordSend_->GetThreadId(), kStopMessage);
    recordSend_->Wait(sync::kInfinite);
}

void VoiceStreams::waitReceivePlay() {
    if (receivePlay_) {
        receivePlay_->Wait(sync::kInfinite);
    }
}

// --- Record-send thread ---

uint32_t VoiceStreams::recordSendThread() {
    sync::ensureMessageQueue();
    if (!capture_.open(sync::currentThreadId())) {
        engine_.notify(NotificationCode::CaptureFailed);
    }
    engine_.log("Starting r-s thread");
    sendCodec_ = audio::SpeechCodec::create();
    engine_.log("R-S thread started");
    recordSend_->SignalStarted();

    sync::ThreadMessage message;
    for (;;) {
        if (engine_.stopRequested()) {
            // Stopping: take what is queued without waiting, then leave.
            if (!sync::peekMessage(message, true)) {
                break;
            }
        } else if (!sync::getMessage(message)) {
            break;
        }
        switch (message.message) {
            case sync::MM_WIM_DATA:
                handleCapturedBlock();
                break;
            case kStopMessage:
                capture_.stop();
                break;
            case kKeepAliveMessage:
                sendProbes();
                break;
            default:
                break;
        }
    }
    engine_.log("Exitting record send thread");
    capture_.close();
    sendCodec_.reset();
    return 0;
}

void VoiceStreams::handleCapturedBlock() {
    if (!capture_.isCurrentDone()) {
        engine_.log("MM_WIM_DATA: But buffer not done.");
        return;
    }
    if (engine_.stopRequested() || sendCodec_ == nullptr) {
        capture_.requeue();
        return;
    }
    PcmBlockBuffer pcm;
    std::memcpy(pcm.data(), capture_.currentData(), kBlockBytes);
    capture_.requeue();

    const bool speech = blockHasSpeech(pcm.data(), pcm.size());
    if (speech) {
        silenceRun_ = 0;
    }
    bool sent = false;
    if (speech || silenceRun_ < kHangOverBlocks) {
        SessionMessage voice(MSG_VOICE);
        sendCodec_->encodeMessage(pcm.data(), pcm.size(), voice);
        sync::ReadLock lock(engine_.sessionGuard());
        const auto& sessions = engine_.sessionsLocked();
        if (!sessions.empty() && sessions.front()->type() == SessionType::Local) {
            VoiceSession& local = *sessions.front();
            int error = 0;
            const bool ok = local.sendVoice(voice, &error);
            if (engine_.isRecording()) {
                engine_.sink().addBlock(pcm.data(), kBlockBytes, 0);
            }
            if (!ok && error != EINTR) {
                engine_.notify(NotificationCode::ConnectionLost);
                return;
            }
            if (!ok) {
                engine_.log("Error Sending Data - WSAINTR");
            }
            PcmBlock shown;
            shown.samples = pcm;
            engine_.notify(NotificationCode::VoiceSent, std::move(shown));
            sent = true;
        }
    }
    engine_.setTransmitting(sent);
    if (!speech && silenceRun_ < kHangOverBlocks) {
        ++silenceRun_;
    }
    if (engine_.sessionCount() > 2) {
        mixerPass();
    }
}

void VoiceStreams::sendProbes() {
    const SessionMessage probe = buildProbe(platform::tickCount(), 0);
    sync::ReadLock lock(engine_.sessionGuard());
    for (const auto& session : engine_.sessionsLocked()) {
        if (session->isConnected()) {
            session->send(probe);
        }
    }
}

// --- Receive-play thread ---

uint32_t VoiceStreams::receivePlayThread() {
    sync::ensureMessageQueue();
    play_ = std::make_unique<sync::CWorkerThread>([this](void*) { return playThread(); }, nullptr,
                                                  "Play Thread for Netcore");
    play_->Start(true);
    engine_.log("Started Recv-Play thread");
    receivePlay_->SignalStarted();
    // The thread's priority stays normal: raising it needs privileges that a desktop user
    // does not have here, and a pass costs well under a millisecond.

    uint32_t previousStart = platform::tickCount();
    while (!engine_.stopRequested() && engine_.isRunning()) {
        const bool conference = engine_.sessionCount() > 2;
        const uint32_t now = platform::tickCount();
        const uint32_t since = now - previousStart;
        const uint32_t wait =
            conference ? kConferenceWaitMs : (since >= kPassPeriodMs ? 0 : kPassPeriodMs - since);
        previousStart = now;
        if (receivePass(wait) < 0) {
            engine_.log("Error receiving data");
            if (!engine_.stopRequested() && engine_.isRunning()) {
                engine_.notify(NotificationCode::ConnectionLost);
                engine_.log(formatText(
                    "Closing connection RecvFails from RecvPlay-ErrorCode = %d..", errno));
                sleepMs(kRetryPostMs);
            }
            break;
        }
        if (!conference) {
            mixerPass();
        }
    }

    while (play_->IsRunning() && !sync::postThreadMessage(play_->GetThreadId(), kStopMessage)) {
        sleepMs(kRetryPostMs);
    }
    play_->Wait(sync::kInfinite);
    engine_.log("Exitting recv play thread");
    return 0;
}

int VoiceStreams::receivePass(uint32_t waitMs) {
    // The wait happens outside the session list's lock: the guard lets a writer in only when
    // no reader is inside, so a reader that sat in poll() for every pass would hold off a
    // joining peer, a hang-up, the silent-peer sweep and Stop. The sessions are looked up
    // again, by id and descriptor, once the wait is over.
    struct Polled {
        SessionId id;
        int fd;
    };
    std::array<Polled, kMaxPolledSessions> polled{};
    std::array<pollfd, kMaxPolledSessions> fds{};
    size_t n = 0;
    {
        sync::ReadLock lock(engine_.sessionGuard());
        const auto& sessions = engine_.sessionsLocked();
        n = std::min(sessions.size(), kMaxPolledSessions);
        for (size_t i = 0; i < n; ++i) {
            polled[i] = Polled{sessions[i]->id(), sessions[i]->socket().handle()};
            fds[i].fd = polled[i].fd;
            fds[i].events = POLLIN;
        }
    }
    if (n == 0) {
        return -1;  // nothing left to listen to
    }
    // poll, not select: a descriptor above 1023 would overflow a select set.
    const int ready = ::poll(fds.data(), n, static_cast<int>(waitMs));
    if (ready < 0 && errno != EINTR) {
        return -1;
    }

    std::vector<SessionId> failed;
    int decoded = 0;
    {
        sync::ReadLock lock(engine_.sessionGuard());
        const auto& sessions = engine_.sessionsLocked();
        if (ready > 0) {
            // Rotating the first session read keeps one busy peer from starving the others.
            static std::atomic<uint32_t> rotation{0};
            const size_t first = rotation.fetch_add(1) % n;
            std::array<uint8_t, kReceiveBufferSize> buffer;
            for (size_t k = 0; k < n; ++k) {
                const size_t i = (first + k) % n;
                if ((fds[i].revents & (POLLIN | POLLERR)) == 0) {
                    continue;
                }
                const auto found =
                    std::find_if(sessions.begin(), sessions.end(), [&](const auto& s) {
                        return s->id() == polled[i].id && s->socket().handle() == polled[i].fd;
                    });
                if (found == sessions.end()) {
                    continue;  // removed while we waited
                }
                VoiceSession& session = **found;
                for (;;) {
                    const ReadOutcome outcome = readOne(session, buffer.data());
                    if (outcome == ReadOutcome::Decoded) {
                        ++decoded;
                        break;
                    }
                    if (outcome == ReadOutcome::Failed) {
                        failed.push_back(session.id());
                        break;
                    }
                    if (outcome == ReadOutcome::Empty) {
                        break;
                    }
                    // A refused packet or a control message: read on while there is more.
                }
            }
        }
        const uint32_t now = platform::tickCount();
        for (const auto& session : sessions) {
            session->runAutomaticDigits(now);
        }
    }
    for (const SessionId id : failed) {
        if (engine_.isLocalSession(id)) {
            if (!engine_.stopRequested() && engine_.isRunning()) {
                engine_.notify(NotificationCode::ConnectionLost);
            }
        } else {
            engine_.removeSession(id);
        }
    }
    return decoded;
}

VoiceStreams::ReadOutcome VoiceStreams::readOne(VoiceSession& session, uint8_t* buffer) {
    const UdpSocket::Received got = session.socket().receiveFrom(buffer, kReceiveBufferSize);
    switch (got.result) {
        case UdpSocket::Result::Ok:
            break;
        case UdpSocket::Result::TimedOut:
        case UdpSocket::Result::Interrupted:
            return ReadOutcome::Empty;
        case UdpSocket::Result::Truncated:
            // One oversized datagram, from anyone, must not end the call: it is dropped.
            engine_.log(formatText(
                "Recv [WSAEMSGSIZE] Failed on socket %x, bufsize=%d,  recvsize=%d",
                session.socket().handle(), int(kReceiveBufferSize), int(got.datagramSize)));
            return ReadOutcome::Other;
        default:
            return ReadOutcome::Failed;
    }
    const bool remote = session.type() != SessionType::Local;
    if (remote) {
        const auto bytes = static_cast<uint32_t>(got.size);
        session.addReceivedBytes(bytes);
        engine_.notify(NotificationCode::BytesReceived, SessionCount{session.id(), bytes});
    }
    const auto view = MessageView::read(buffer, got.size);
    if (!view) {
        return ReadOutcome::Other;
    }
    if (view->code() != MSG_VOICE) {
        return session.handleControl(*view, got.from) ? ReadOutcome::Failed : ReadOutcome::Other;
    }
    // Voice counts only from the session's own peer; anybody else's would be mixed in.
    if (!session.isFromPeer(got.from)) {
        return ReadOutcome::Other;
    }
    session.noteHeard();
    if (engine_.sequenceCheck() && view->hasSequence()) {
        const uint32_t sequence = view->sequence();
        const uint32_t last = session.voiceSequenceIn();
        if (sequence <= last) {
            engine_.log("Duplicate voice packet was detected and ignored");
            return ReadOutcome::Other;
        }
        if (sequence != last + 1) {
            engine_.notify(NotificationCode::PacketsLost,
                           SessionCount{session.id(), sequence - last});
        }
        session.setVoiceSequenceIn(sequence);
    }
    if (session.decoder() == nullptr) {
        return ReadOutcome::Decoded;
    }
    // GSM decoding carries state from block to block and the peer's encoder keeps running
    // while we mute it, so a muted session's voice is still decoded, only not queued: a
    // decoder that skipped the stream would come back far too quiet on a steady sound.
    auto block = std::make_unique<PcmBlockBuffer>();
    uint32_t samples = 0;
    session.decoder()->decodeMessage(*view, block->data(), block->size(), samples);
    if (!session.isMuted()) {
        session.pcmQueue().push(std::move(block));
    }
    return ReadOutcome::Decoded;
}

// --- Mixer ---

void VoiceStreams::mixerPass() {
    std::lock_guard mixing(mixerLock_);
    {
        sync::ReadLock lock(engine_.sessionGuard());
        const auto& sessions = engine_.sessionsLocked();
        const size_t n = sessions.size();
        popped_.resize(n);
        inputs_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            popped_[i] = sessions[i]->pcmQueue().pop();
            inputs_[i] = popped_[i] ? popped_[i]->data() : nullptr;
        }
        mixer_.sum(inputs_);
        if (mixer_.contributors() > 0) {
            for (size_t i = 0; i < n; ++i) {
                VoiceSession& session = *sessions[i];
                if (session.type() == SessionType::Local) {
                    auto mixed = std::make_unique<PcmBlockBuffer>();
                    if (mixer_.mixFor(i, mixed->data())) {
                        localPlay_.push(std::move(mixed));
                    }
                    continue;
                }
                if (session.isMuted() || !session.isConnected() || session.encoder() == nullptr ||
                    !mixer_.mixFor(i, mixed_.data())) {
                    continue;
                }
                SessionMessage voice(MSG_VOICE);
                session.encoder()->encodeMessage(mixed_.data(), mixed_.size(), voice);
                session.sendVoice(voice);
            }
        }
        for (auto& block : popped_) {
            block.reset();
        }
    }
    playOneBlock();
}

void VoiceStreams::playOneBlock() {
    const auto block = localPlay_.pop();
    if (!block) {
        return;
    }
    // Our speaker and the peers' microphones run on different clocks, and blocks that
    // piled up while the call started (the play thread opens its device half a second
    // late) would otherwise stay in the device for the whole call as delay. With a block
    // playing and one waiting, a further block is dropped: that keeps the speaker's share
    // of the mouth-to-ear delay under 400 ms and costs one block when a peer runs fast.
    if (playback_.isOpen() && playback_.queuedCount() >= kMaxPlaybackQueued) {
        return;
    }
    playback_.write(block->data());
    PcmBlock shown;
    shown.samples = *block;
    engine_.notify(NotificationCode::VoicePlayed, std::move(shown));
    if (engine_.isRecording()) {
        engine_.sink().addBlock(block->data(), kBlockBytes, 1);
    }
}

// --- Play callback thread ---

uint32_t VoiceStreams::playThread() {
    sleepMs(engine_.timings().playOpenDelayMs);
    if (ownBackend_) {
        audio::AlertPlayer::instance().stop();
    }
    sync::ensureMessageQueue();
    if (!playback_.open(sync::currentThreadId())) {
        engine_.notify(NotificationCode::PlaybackFailed);
    }
    engine_.log("Starting play callback thread");
    play_->SignalStarted();
    sync::ThreadMessage message;
    while (sync::getMessage(message)) {
        if (message.message == sync::MM_WOM_DONE) {
            playback_.releaseOldest();
        } else if (message.message == kStopMessage) {
            playback_.stop();
            break;
        }
    }
    playback_.close();
    engine_.log("Exitting play callback thread");
    return 0;
}

}  // namespace ostrel::engine
