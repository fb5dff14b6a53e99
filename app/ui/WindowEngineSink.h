// The main window's EngineSink: every engine notification is handed to the GUI thread as a
// queued call, tagged with the engine it came from, and never blocks the engine's thread.
// Incoming-call questions stay listed here until answered, so that stopping the engine can
// answer what the window never saw (the engine's Stop waits for those request threads).
#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/EngineSink.h"

namespace ostrel::app {

class WindowEngineSink final : public engine::EngineSink,
                               public std::enable_shared_from_this<WindowEngineSink> {
public:
    // Runs on the receiver's thread with this sink (its generation names the engine) and
    // the notification.
    using Handler = std::function<void(WindowEngineSink& sink, engine::Notification notification)>;

    // Voice blocks for the conversation's recording; any engine thread.
    using BlockRecorder = std::function<bool(const void* pcm, size_t byteCount, uint32_t direction)>;

    WindowEngineSink(QObject* receiver, uint64_t generation, Handler handler,
                     BlockRecorder recorder = {});

    void log(std::string_view text) override;
    void notify(engine::Notification notification) override;
    bool addBlock(const void* pcm, size_t byteCount, uint32_t direction) override;

    uint64_t generation() const { return generation_; }

    // Answers a question that is still open; false when it was answered already (or the sink
    // was closed meanwhile). GUI thread.
    bool answer(engine::IncomingCallRequest* question, engine::IncomingCallRequest::Answer a);
    bool isOpen(engine::IncomingCallRequest* question) const;

    // Rejects every open question and every later one at once. Called before the engine is
    // stopped; other notifications still reach the window, which judges them by generation.
    void close();

private:
    QPointer<QObject> receiver_;
    const uint64_t generation_;
    Handler handler_;
    const BlockRecorder recorder_;

    mutable std::mutex mutex_;  // guards open_ and closed_
    std::vector<engine::IncomingCallRequest*> open_;
    bool closed_ = false;
};

}  // namespace ostrel::app
