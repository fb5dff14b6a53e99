#include "app/ui/WindowEngineSink.h"

#include <algorithm>

#include "platform/Platform.h"

namespace ostrel::app {

using engine::IncomingCallRequest;
using engine::Notification;
using engine::NotificationCode;

WindowEngineSink::WindowEngineSink(QObject* receiver, uint64_t generation, Handler handler,
                                   BlockRecorder recorder)
    : receiver_(receiver),
      generation_(generation),
      handler_(std::move(handler)),
      recorder_(std::move(recorder)) {}

bool WindowEngineSink::addBlock(const void* pcm, size_t byteCount, uint32_t direction) {
    return recorder_ ? recorder_(pcm, byteCount, direction) : false;
}

void WindowEngineSink::log(std::string_view text) {
    platform::trace(text);
}

void WindowEngineSink::notify(Notification notification) {
    if (notification.code == NotificationCode::IncomingCall ||
        notification.code == NotificationCode::IncomingCallInCall) {
        auto* question = std::get<IncomingCallRequest*>(notification.parameter);
        std::unique_lock lock(mutex_);
        if (closed_ || receiver_.isNull()) {
            lock.unlock();
            question->respond(IncomingCallRequest::kReject);
            return;
        }
        open_.push_back(question);
    }
    QObject* receiver = receiver_.data();
    if (receiver == nullptr) {
        return;
    }
    // The lambda keeps the sink alive until the GUI thread has run it, and the notification
    // travels by value: the handler owns it and it is freed once handled.
    QMetaObject::invokeMethod(
        receiver,
        [self = shared_from_this(), n = std::move(notification)]() mutable {
            self->handler_(*self, std::move(n));
        },
        Qt::QueuedConnection);
}

bool WindowEngineSink::answer(IncomingCallRequest* question, IncomingCallRequest::Answer a) {
    {
        std::lock_guard lock(mutex_);
        auto it = std::find(open_.begin(), open_.end(), question);
        if (it == open_.end()) {
            return false;
        }
        open_.erase(it);
    }
    question->respond(a);
    return true;
}

bool WindowEngineSink::isOpen(IncomingCallRequest* question) const {
    std::lock_guard lock(mutex_);
    return std::find(open_.begin(), open_.end(), question) != open_.end();
}

void WindowEngineSink::close() {
    std::vector<IncomingCallRequest*> open;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        open.swap(open_);
    }
    for (IncomingCallRequest* question : open) {
        question->respond(IncomingCallRequest::kReject);
    }
}

}  // namespace ostrel::app
