#include "tests/webservice/TinyProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/webservice/LoopbackSocket.h"

namespace ostrel::webservice::test {

TinyProxy::TinyProxy(const std::string& address, int port) {
    listenFd_ = listenOn(address, port, port_);
    if (listenFd_ >= 0) {
        thread_ = std::thread([this] { run(); });
    }
}

TinyProxy::~TinyProxy() {
    if (listenFd_ >= 0) {
        stop_.store(true);
        thread_.join();
        ::close(listenFd_);
    }
}

std::vector<std::string> TinyProxy::RequestLines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void TinyProxy::run() {
    while (!stop_.load()) {
        const int fd = acceptSoon(listenFd_);
        if (fd < 0) {
            continue;
        }
        std::string data;
        size_t headerEnd = std::string::npos;
        size_t wanted = 0;
        char buffer[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) {
                break;
            }
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            data.append(buffer, static_cast<size_t>(got));
            if (headerEnd == std::string::npos) {
                headerEnd = data.find("\r\n\r\n");
                if (headerEnd != std::string::npos) {
                    const size_t at = data.find("Content-Length: ");
                    const size_t length =
                        at < headerEnd ? std::strtoul(data.c_str() + at + 16, nullptr, 10) : 0;
                    wanted = headerEnd + 4 + length;
                }
            }
            if (headerEnd != std::string::npos && data.size() >= wanted) {
                break;
            }
        }
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(data.substr(0, data.find("\r\n")));
        }
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nvia proxy";
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
}

}  // namespace ostrel::webservice::test
