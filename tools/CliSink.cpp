#include "tools/CliSink.h"

#include <chrono>

#include "platform/Platform.h"
#include "tools/NotificationLine.h"

namespace ostrel::tools {

using engine::IncomingCallRequest;
using engine::NotificationCode;

void CliSink::log(std::string_view text) {
    platform::trace(text);
}

void CliSink::notify(engine::Notification n) {
    IncomingCallRequest* question = nullptr;
    if (n.code == NotificationCode::IncomingCall ||
        n.code == NotificationCode::IncomingCallInCall) {
        question = std::get<IncomingCallRequest*>(n.parameter);
    }
    const std::string line = notificationLine(n);
    {
        std::lock_guard lock(mutex_);
        std::fputs(line.c_str(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
        if (n.code == NotificationCode::CallActive) {
            callActive_ = true;
        }
        if (question != nullptr && policy_ == AnswerPolicy::Ignore && !closing_) {
            open_.push_back(question);
            question = nullptr;
        }
    }
    changed_.notify_all();
    // The record must not be touched after the answer: the request thread goes on at once.
    if (question != nullptr) {
        question->respond(policy_ == AnswerPolicy::Accept && !closingNow()
                              ? IncomingCallRequest::kAccept
                              : IncomingCallRequest::kReject);
    }
}

bool CliSink::addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) {
    return recorder_ == nullptr || recorder_->addBlock(pcm, byteCount, direction);
}

bool CliSink::closingNow() {
    std::lock_guard lock(mutex_);
    return closing_;
}

bool CliSink::waitCallActive(int ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return callActive_; });
}

void CliSink::rejectOpenQuestions() {
    std::vector<IncomingCallRequest*> open;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        open.swap(open_);
    }
    for (IncomingCallRequest* q : open) {
        q->respond(IncomingCallRequest::kReject);
    }
}

}  // namespace ostrel::tools
