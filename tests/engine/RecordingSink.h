// An EngineSink for tests: keeps every notification and log text, lets a test wait for one,
// and answers incoming-call questions by a chosen policy (or leaves them to the test).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/FileBackend.h"
#include "engine/EngineSink.h"
#include "engine/EngineTimings.h"

namespace enginetest {

using ostrel::engine::IncomingCallRequest;
using ostrel::engine::Notification;
using ostrel::engine::NotificationCode;

class RecordingSink : public ostrel::engine::EngineSink {
public:
    enum class Answer { Leave, Accept, Reject };

    explicit RecordingSink(Answer answer = Answer::Leave) : answer_(answer) {}

    void log(std::string_view text) override {
        std::lock_guard lock(mutex_);
        logs_.emplace_back(text);
    }

    void notify(Notification n) override {
        IncomingCallRequest* question = nullptr;
        if (n.code == NotificationCode::IncomingCall ||
            n.code == NotificationCode::IncomingCallInCall) {
            question = std::get<IncomingCallRequest*>(n.parameter);
        }
        {
            std::lock_guard lock(mutex_);
            if (question != nullptr) {
                askedNames_.push_back(question->peerUserName);
                open_.push_back({question, answer_ != Answer::Leave});
            }
            all_.push_back(std::move(n));
        }
        changed_.notify_all();
        if (question != nullptr && answer_ != Answer::Leave) {
            question->respond(answer_ == Answer::Accept ? IncomingCallRequest::kAccept
                                                        : IncomingCallRequest::kReject);
        }
    }

    bool addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) override {
        (void)pcm;
        std::lock_guard lock(mutex_);
        if (byteCount == 3200 && direction < 2) {
            ++recorded_[direction];
        } else {
            ++recordedOdd_;
        }
        return true;
    }

    // Blocks handed to the recorder as sent (0) or played (1); odd ones have another size
    // or direction.
    size_t recorded(uint32_t direction) {
        std::lock_guard lock(mutex_);
        return direction < 2 ? recorded_[direction] : recordedOdd_;
    }

    // The nth (1-based) notification with `code`, waiting up to `ms` for it.
    std::optional<Notification> waitFor(NotificationCode code, int ms = 2000, size_t nth = 1) {
        std::unique_lock lock(mutex_);
        std::optional<Notification> found;
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            size_t seen = 0;
            for (const auto& n : all_) {
                if (n.code == code && ++seen == nth) {
                    found = n;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // The nth question still waiting for the test to answer it.
    IncomingCallRequest* waitForQuestion(int ms = 2000, size_t nth = 1) {
        std::unique_lock lock(mutex_);
        IncomingCallRequest* found = nullptr;
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            size_t seen = 0;
            for (const auto& n : all_) {
                if ((n.code == NotificationCode::IncomingCall ||
                     n.code == NotificationCode::IncomingCallInCall) &&
                    ++seen == nth) {
                    found = std::get<IncomingCallRequest*>(n.parameter);
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // Answers an open question. A record's address may be reused by a later request thread
    // once the earlier one was answered, so the open entry is the one that counts.
    void answer(IncomingCallRequest* question, IncomingCallRequest::Answer a) {
        {
            std::lock_guard lock(mutex_);
            for (auto& entry : open_) {
                if (entry.first == question && !entry.second) {
                    entry.second = true;
                    break;
                }
            }
        }
        question->respond(a);
    }

    // Rejects every question still open, so that Stop can finish.
    void rejectOpenQuestions() {
        std::vector<IncomingCallRequest*> pending;
        {
            std::lock_guard lock(mutex_);
            for (auto& entry : open_) {
                if (!entry.second) {
                    entry.second = true;
                    pending.push_back(entry.first);
                }
            }
        }
        for (IncomingCallRequest* q : pending) {
            q->respond(IncomingCallRequest::kReject);
        }
    }

    size_t count(NotificationCode code) {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& x : all_) {
            n += x.code == code ? 1 : 0;
        }
        return n;
    }

    // Codes in order, without the byte counters that every send produces and the blocks that
    // the voice threads report every 200 ms.
    std::vector<NotificationCode> codes() {
        std::lock_guard lock(mutex_);
        std::vector<NotificationCode> codes;
        for (const auto& x : all_) {
            if (x.code != NotificationCode::BytesSent &&
                x.code != NotificationCode::BytesReceived &&
                x.code != NotificationCode::VoiceSent && x.code != NotificationCode::VoicePlayed) {
                codes.push_back(x.code);
            }
        }
        return codes;
    }

    std::vector<std::string> askedNames() {
        std::lock_guard lock(mutex_);
        return askedNames_;
    }

    bool logged(const std::string& part) {
        std::lock_guard lock(mutex_);
        for (const auto& l : logs_) {
            if (l.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // Every notification with `code`, in order.
    std::vector<Notification> all(NotificationCode code) {
        std::lock_guard lock(mutex_);
        std::vector<Notification> found;
        for (const auto& x : all_) {
            if (x.code == code) {
                found.push_back(x);
            }
        }
        return found;
    }

    size_t total() {
        std::lock_guard lock(mutex_);
        return all_.size();
    }

private:
    const Answer answer_;
    std::mutex mutex_;  // guards all_, logs_ and askedNames_
    std::condition_variable changed_;
    std::vector<Notification> all_;
    std::vector<std::string> logs_;
    std::vector<std::string> askedNames_;
    std::vector<std::pair<IncomingCallRequest*, bool>> open_;  // question, answered
    size_t recorded_[2] = {0, 0};
    size_t recordedOdd_ = 0;
};

// Short waits so a silence limit costs a few hundred milliseconds, not nine seconds.
inline ostrel::engine::EngineTimings fastTimings() {
    ostrel::engine::EngineTimings t;
    t.listenerWaitMs = 50;
    t.handshakeWaitMs = 100;
    t.busyPauseMs = 50;
    t.requestThreadPollMs = 10;
    return t;
}

// Audio for engines whose sound does not matter: silence in, played blocks dropped, at the
// real pace, without a sound card.
inline ostrel::audio::WaveBackend& silentAudio() {
    static ostrel::audio::FileBackend backend("", "");
    return backend;
}

inline constexpr const char* kIdentity = "5d9f3c1e-7a2b-4c8d-9e0f-112233445566";

}  // namespace enginetest
