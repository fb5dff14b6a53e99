// The voice of a call: the record-send thread captures 200 ms blocks, drops silence and sends
// them through the local session; the receive-play thread reads every session socket, checks
// sequence numbers, decodes into the sessions' queues and runs the mixer; the play callback
// thread services the playback device. Started once per engine, at its first connected call.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/SpeechCodec.h"
#include "audio/WaveBackend.h"
#include "audio/WaveInDevice.h"
#include "audio/WaveOutDevice.h"
#include "engine/Mixer.h"
#include "engine/PcmQueue.h"
#include "engine/SessionId.h"
#include "engine/SessionMessage.h"
#include "platform/SocketAddress.h"
#include "sync/CWorkerThread.h"
#include "sync/ThreadId.h"

namespace ostrel::engine {

class NetCore;
class VoiceSession;

class VoiceStreams {
public:
    // Thread messages of the voice threads.
    static constexpr uint32_t kStopMessage = 0x0400 + 2;
    static constexpr uint32_t kKeepAliveMessage = 0x0400 + 3;
    // Sockets one receive pass polls at most.
    static constexpr size_t kMaxPolledSessions = 64;

    // Devices are made now and opened by their threads. `backend` null: the process's.
    VoiceStreams(NetCore& engine, audio::WaveBackend* backend);
    // The threads have been ended (endRecordSend, waitReceivePlay).
    ~VoiceStreams();

    VoiceStreams(const VoiceStreams&) = delete;
    VoiceStreams& operator=(const VoiceStreams&) = delete;

    // Starts record-send, then receive-play (which starts the play callback thread), each
    // waiting for the thread to be ready.
    void start();
    bool started() const { return started_.load(); }
    // Keep-alive probes go out from the record-send thread.
    bool postKeepAlive();
    // Stop, in order: the record-send thread gets its stop message and is awaited; the
    // receive-play thread ends by the engine's flags and ends the play thread itself.
    void endRecordSend();
    void waitReceivePlay();

    // One pass over the session sockets, waiting up to `waitMs`; the number of voice packets
    // decoded, or -1 when the sockets could not be polled. Takes the list's read lock.
    int receivePass(uint32_t waitMs);
    // Gives every participant the others' blocks; takes the list's read lock.
    void mixerPass();

    size_t localPlayQueued() { return localPlay_.size(); }

private:
    uint32_t recordSendThread();
    uint32_t receivePlayThread();
    uint32_t playThread();
    void handleCapturedBlock();
    void sendProbes();
    // One datagram read from `session`; true when it was voice that was decoded.
    enum class ReadOutcome { Decoded, Other, Empty, Failed };
    ReadOutcome readOne(VoiceSession& session, uint8_t* buffer);
    void playOneBlock();

    NetCore& engine_;
    audio::WaveInDevice capture_;
    audio::WaveOutDevice playback_;
    std::unique_ptr<sync::CWorkerThread> recordSend_;
    std::unique_ptr<sync::CWorkerThread> receivePlay_;
    std::unique_ptr<sync::CWorkerThread> play_;
    std::atomic<bool> started_{false};
    const bool ownBackend_;  // the process's backend, which may play alerts

    // Record-send thread only.
    std::unique_ptr<audio::SpeechCodec> sendCodec_;
    uint32_t silenceRun_ = 0;

    // Mixer passes run on the receive-play thread in a two-party call and on the record-send
    // thread in a conference; while the list grows or shrinks both may try at once, so a pass
    // holds this lock (it guards mixer_ and the remote sessions' encoders and numbers).
    std::mutex mixerLock_;
    Mixer mixer_;
    std::vector<std::unique_ptr<PcmBlockBuffer>> popped_;
    std::vector<const int16_t*> inputs_;
    PcmBlockBuffer mixed_{};
    PcmQueue localPlay_;  // mixed blocks for our own speaker, no bound
};

}  // namespace ostrel::engine
