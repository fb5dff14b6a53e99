#include "tests/reporter/ReportPageServer.h"

#include <chrono>
#include <stdexcept>

namespace ostrel::reporter::test {

ReportPageServer::ReportPageServer() {
    server_.Post(R"(.*)", [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
        RecordedPost post;
        post.path = request.path;
        post.contentType = request.get_header_value("Content-Type");
        reader([&](const char* data, size_t length) {
            post.body.append(data, length);
            return true;
        });
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            posts_.push_back(std::move(post));
            hook = onRequest_;
        }
        changed_.notify_all();
        if (hook) {
            hook();
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !holding_; });
        response.set_content(reply_, "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot bind the report page");
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ReportPageServer::~ReportPageServer() {
    Release();
    server_.stop();
    thread_.join();
}

void ReportPageServer::SetReply(std::string reply) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
}

void ReportPageServer::HoldReplies() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

void ReportPageServer::Release() {
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
    }
    changed_.notify_all();
}

void ReportPageServer::SetOnRequest(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    onRequest_ = std::move(hook);
}

std::vector<RecordedPost> ReportPageServer::Posts() const {
    std::lock_guard lock(mutex_);
    return posts_;
}

size_t ReportPageServer::PostCount() const {
    std::lock_guard lock(mutex_);
    return posts_.size();
}

bool ReportPageServer::WaitForPosts(size_t count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return posts_.size() >= count; });
}

}  // namespace ostrel::reporter::test
