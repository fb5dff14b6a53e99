// Test support: a cpp-httplib stand-in for the report page on 127.0.0.1 that records every
// POST byte for byte and answers with the text the test sets. Bodies are read through a
// content reader, as the packaged library refuses form bodies over 8192 bytes otherwise.
// Construct, configure and destroy it on the test's thread; it serves on threads of its own.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::reporter::test {

struct RecordedPost {
    std::string path;
    std::string contentType;
    std::string body;
};

class ReportPageServer {
public:
    ReportPageServer();
    ~ReportPageServer();

    std::string HostText() const { return "127.0.0.1:" + std::to_string(port_); }

    // The body of every later answer (status 200).
    void SetReply(std::string reply);
    // Holds every request after recording it until Release (or the server's end).
    void HoldReplies();
    void Release();
    // Called on the serving thread after a request is recorded and before it is answered.
    void SetOnRequest(std::function<void()> hook);

    std::vector<RecordedPost> Posts() const;
    size_t PostCount() const;
    bool WaitForPosts(size_t count, int timeoutMs) const;

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;  // guards everything below
    mutable std::condition_variable changed_;
    std::string reply_ = "+OK";
    bool holding_ = false;
    std::function<void()> onRequest_;
    std::vector<RecordedPost> posts_;
};

}  // namespace ostrel::reporter::test
