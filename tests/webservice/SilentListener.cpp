#include "tests/webservice/SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tests/webservice/LoopbackSocket.h"

namespace ostrel::webservice::test {

SilentListener::SilentListener() {
    listenFd_ = listenOn("127.0.0.1", 0, port_);
    if (listenFd_ < 0) {
        throw std::runtime_error("cannot bind the silent listener");
    }
    thread_ = std::thread([this] { run(); });
}

SilentListener::~SilentListener() {
    stop_.store(true);
    thread_.join();
    for (const int fd : clients_) {
        ::close(fd);
    }
    ::close(listenFd_);
}

void SilentListener::run() {
    while (!stop_.load()) {
        const int fd = acceptSoon(listenFd_);
        if (fd >= 0) {
            std::lock_guard lock(mutex_);
            clients_.push_back(fd);
            accepted_.fetch_add(1);
        }
    }
}

bool SilentListener::AllPeersClosedWithin(int ms) {
    std::vector<int> clients;
    {
        std::lock_guard lock(mutex_);
        clients = clients_;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (const int fd : clients) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;  // end of stream (or reset): the client has let go
            }
        }
    }
    return true;
}

}  // namespace ostrel::webservice::test
