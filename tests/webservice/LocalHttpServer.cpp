#include "tests/webservice/LocalHttpServer.h"

#include <chrono>
#include <stdexcept>

namespace ostrel::webservice::test {

LocalHttpServer::LocalHttpServer(Handler handler) : handler_(std::move(handler)) {
    server_.Post(R"(.*)", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({request.method, request.path, request.body, request.headers});
        }
        if (handler_) {
            handler_(request, response);
        } else {
            response.set_content("OK", "text/plain");
        }
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot bind the test server");
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LocalHttpServer::~LocalHttpServer() {
    server_.stop();
    thread_.join();
}

std::vector<ReceivedRequest> LocalHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

ReceivedRequest LocalHttpServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? ReceivedRequest{} : requests_.back();
}

}  // namespace ostrel::webservice::test

