#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "app/settings/Settings.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "tests/webservice/SilentListener.h"
#include "tests/webservice/TinyProxy.h"
#include "webservice/HttpRequester.h"

using namespace ostrel::webservice;
using namespace ostrel::webservice::test;
using namespace std::chrono_literals;
namespace settings = ostrel::settings;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

HttpRequesterOptions withSlice(unsigned long ms) {
    HttpRequesterOptions options;
    options.waitSliceMs = ms;
    return options;
}

HttpRequesterOptions withShutdownFlag(std::function<bool()> flag) {
    HttpRequesterOptions options;
    options.shuttingDown = std::move(flag);
    return options;
}

// Whether a thread of this process carries `name` right now.
bool threadNamed(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) {
            return true;
        }
    }
    return false;
}

size_t headerCount(const ReceivedRequest& request, const std::string& name) {
    return request.headers.count(name);
}

class HttpRequesterTest : public ::testing::Test {
protected:
    ScopedConfigDir config_;  // proxy settings come from here, never from the user's store
};

TEST_F(HttpRequesterTest, PostsTheBodyWithTheOneContentTypeHeader) {
    LocalHttpServer server;
    HttpRequester requester(60);
    std::string reply;
    ASSERT_TRUE(requester.Post(server.HostText(), "ostrel\\logmein.asp", "User=a&Pass=b", reply));
    EXPECT_EQ(reply, "OK");

    const ReceivedRequest got = server.LastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.path, "/ostrel/logmein.asp");
    EXPECT_EQ(got.body, "User=a&Pass=b");
    ASSERT_EQ(headerCount(got, "Content-Type"), 1u);
    EXPECT_EQ(got.headers.find("Content-Type")->second, "application/x-www-form-urlencoded");
    ASSERT_EQ(headerCount(got, "User-Agent"), 1u);
    EXPECT_EQ(got.headers.find("User-Agent")->second, "Talvero");
    EXPECT_EQ(got.headers.find("Content-Length")->second, "13");
    EXPECT_EQ(headerCount(got, "Expect"), 0u);
    EXPECT_EQ(headerCount(got, "Authorization"), 0u);
}

TEST_F(HttpRequesterTest, LongBodyArrivesWhole) {
    LocalHttpServer server;
    HttpRequester requester(60);
    // Several socket writes' worth, yet below cpp-httplib's 8192-byte limit for form bodies.
    std::string body;
    for (int i = 0; body.size() < 6000; ++i) {
        body += "&f" + std::to_string(i) + "=" + std::to_string(i * 7919);
    }
    std::string reply;
    ASSERT_TRUE(requester.Post(server.HostText(), "p/s.asp", body, reply));
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(server.LastRequest().body.size(), body.size());
    EXPECT_TRUE(server.LastRequest().body == body);
    EXPECT_EQ(headerCount(server.LastRequest(), "Expect"), 0u);
}

TEST_F(HttpRequesterTest, EmptyReplyBodyIsSuccess) {
    LocalHttpServer server(
        [](const httplib::Request&, httplib::Response& response) { response.status = 200; });
    HttpRequester requester(60);
    std::string reply = "preset";
    EXPECT_TRUE(requester.Post(server.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(server.LastRequest().body, "");
    EXPECT_EQ(server.LastRequest().headers.find("Content-Length")->second, "0");
}

class ErrorPageTest : public HttpRequesterTest, public ::testing::WithParamInterface<int> {};

TEST_P(ErrorPageTest, ErrorStatusIsSuccessWithItsPage) {
    const int status = GetParam();
    const std::string page = "<html><body>error " + std::to_string(status) + "</body></html>";
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(page, "text/html");
    });
    HttpRequester requester(60);
    std::string reply;
    EXPECT_TRUE(requester.Post(server.HostText(), "missing.asp", "a=1", reply));
    EXPECT_EQ(reply, page);
}

INSTANTIATE_TEST_SUITE_P(Statuses, ErrorPageTest, ::testing::Values(404, 500));

TEST_F(HttpRequesterTest, RedirectIsNotFollowedAndItsPageIsTheReply) {
    LocalHttpServer elsewhere;
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.status = 302;
        response.set_header("Location", "http://" + elsewhere.HostText() + "/x.asp");
        response.set_content("moved", "text/plain");
    });
    HttpRequester requester(60);
    std::string reply;
    EXPECT_TRUE(requester.Post(server.HostText(), "s.asp", "Pass=secret", reply));
    EXPECT_EQ(reply, "moved");
    EXPECT_TRUE(elsewhere.Requests().empty());
}

TEST_F(HttpRequesterTest, RefusedConnectionFailsAndLeavesReplyUntouched) {
    std::string host;
    {
        LocalHttpServer gone;  // a port that was just free and is closed again
        host = gone.HostText();
    }
    HttpRequester requester(60);
    std::string reply = "untouched";
    EXPECT_FALSE(requester.Post(host, "s.asp", "a=1", reply));
    EXPECT_EQ(reply, "untouched");
}

TEST_F(HttpRequesterTest, HostTextThatIsNoHostFailsWithoutNetwork) {
    HttpRequester requester(60);
    std::string reply = "untouched";
    for (const char* host :
         {"", ":8080", "127.0.0.1:notaport", "127.0.0.1:70000", "a b:80", "user@127.0.0.1:80"}) {
        EXPECT_FALSE(requester.Post(host, "s.asp", "", reply)) << host;
    }
    EXPECT_EQ(reply, "untouched");
}

TEST_F(HttpRequesterTest, ScriptNamesAreSentAsPaths) {
    LocalHttpServer server;
    HttpRequester requester(60);
    std::string reply;
    ASSERT_TRUE(requester.Post(server.HostText(), "/app2/logproblem.aspx", "", reply));
    EXPECT_EQ(server.LastRequest().path, "/app2/logproblem.aspx");
    ASSERT_TRUE(requester.Post(server.HostText(), "OstrelServer.asp", "", reply));
    EXPECT_EQ(server.LastRequest().path, "/OstrelServer.asp");
    ASSERT_TRUE(requester.Post(server.HostText(), "my dir\\a b.asp", "", reply));
    EXPECT_EQ(server.LastRequest().path, "/my dir/a b.asp");  // sent as %20, decoded there
}

TEST_F(HttpRequesterTest, SilentHostFailsAfterTimeoutPlusOneSecond) {
    SilentListener silent;
    HttpRequester requester(1);  // the product's one-second slices
    std::string reply = "untouched";
    std::atomic<bool> sawWorker{false};
    std::thread watcher([&] {
        std::this_thread::sleep_for(500ms);
        sawWorker.store(threadNamed("Http Thread"));
    });
    const auto start = Clock::now();
    EXPECT_FALSE(requester.Post(silent.HostText(), "s.asp", "a=1", reply));
    const double elapsed = secondsSince(start);
    watcher.join();
    EXPECT_TRUE(sawWorker.load());
    EXPECT_FALSE(threadNamed("Http Thread"));  // Post leaves no thread behind
    EXPECT_GE(elapsed, 1.9);
    EXPECT_LE(elapsed, 3.0);  // slack for a loaded machine
    EXPECT_EQ(reply, "untouched");
    EXPECT_EQ(silent.Accepted(), 1);
    // The abandoned transfer really stopped: its connection is gone at once.
    EXPECT_TRUE(silent.AllPeersClosedWithin(1000));
}

TEST_F(HttpRequesterTest, TimeoutZeroWaitsAsLongAsTheExchangeTakes) {
    LocalHttpServer server([](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(700ms);
        response.set_content("late", "text/plain");
    });
    // With 100 ms slices a time-out of 1 gives up after 200 ms ...
    HttpRequester bounded(1, withSlice(100));
    std::string reply;
    EXPECT_FALSE(bounded.Post(server.HostText(), "s.asp", "", reply));
    // ... while 0 has no limit at all.
    HttpRequester unbounded(0, withSlice(100));
    EXPECT_TRUE(unbounded.Post(server.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, "late");
}

struct OverlapMeter {
    std::atomic<int> active{0};
    std::atomic<int> most{0};

    void handle(httplib::Response& response) {
        const int now = active.fetch_add(1) + 1;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(300ms);
        active.fetch_sub(1);
        response.set_content("done", "text/plain");
    }
};

TEST_F(HttpRequesterTest, TwoThreadsOnOneObjectAreSerialised) {
    OverlapMeter meter;
    LocalHttpServer server(
        [&](const httplib::Request&, httplib::Response& response) { meter.handle(response); });
    HttpRequester shared(60);
    std::atomic<int> successes{0};
    auto post = [&](HttpRequester& requester) {
        std::string reply;
        if (requester.Post(server.HostText(), "s.asp", "", reply) && reply == "done") {
            successes.fetch_add(1);
        }
    };
    std::thread a([&] { post(shared); });
    std::thread b([&] { post(shared); });
    a.join();
    b.join();
    EXPECT_EQ(successes.load(), 2);
    EXPECT_EQ(meter.most.load(), 1);

    // The same server does overlap requests of two objects, so the meter can see overlap.
    meter.most.store(0);
    HttpRequester first(60);
    HttpRequester second(60);
    std::thread c([&] { post(first); });
    std::thread d([&] { post(second); });
    c.join();
    d.join();
    EXPECT_EQ(successes.load(), 4);
    EXPECT_EQ(meter.most.load(), 2);
}

TEST_F(HttpRequesterTest, ShuttingDownCutsAHangingRequestWithinASecond) {
    SilentListener silent;
    std::atomic<bool> shuttingDown{false};
    HttpRequester requester(60, withShutdownFlag([&] { return shuttingDown.load(); }));
    std::thread flagger([&] {
        std::this_thread::sleep_for(300ms);
        shuttingDown.store(true);
    });
    std::string reply = "untouched";
    const auto start = Clock::now();
    EXPECT_FALSE(requester.Post(silent.HostText(), "s.asp", "", reply));
    const double elapsed = secondsSince(start);
    flagger.join();
    EXPECT_GE(elapsed, 0.9);  // noticed at the end of the first one-second slice
    EXPECT_LE(elapsed, 2.0);
    EXPECT_EQ(reply, "untouched");
    EXPECT_TRUE(silent.AllPeersClosedWithin(1000));
}

TEST_F(HttpRequesterTest, ShuttingDownRefusesNewRequestsWithoutNetwork) {
    SilentListener silent;
    HttpRequester requester(60, withShutdownFlag([] { return true; }));
    std::string reply;
    const auto start = Clock::now();
    EXPECT_FALSE(requester.Post(silent.HostText(), "s.asp", "", reply));
    EXPECT_LT(secondsSince(start), 0.5);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(silent.Accepted(), 0);
}

TEST_F(HttpRequesterTest, ProxyAtPort8080IsUsedAndSwitchingItOffAppliesNextRequest) {
    // Port 8080 may be taken on 127.0.0.1 by a running service; any 127/8 address will do.
    std::unique_ptr<TinyProxy> proxy;
    std::string proxyHost;
    for (int last = 2; last < 40 && !proxy; ++last) {
        proxyHost = "127.0.0." + std::to_string(last);
        auto candidate = std::make_unique<TinyProxy>(proxyHost, 8080);
        if (candidate->Ok()) {
            proxy = std::move(candidate);
        }
    }
    if (!proxy) {
        // A service listening on every address at 8080 takes the port everywhere; the proxy
        // path is still worth checking on a port of its own.
        proxyHost = "127.0.0.1";
        proxy = std::make_unique<TinyProxy>(proxyHost, 0);
        std::cerr << "port 8080 is taken on loopback; proxy test uses port " << proxy->Port()
                  << "\n";
    }
    ASSERT_TRUE(proxy->Ok());

    LocalHttpServer origin;
    ASSERT_TRUE(settings::write(settings::value::UseHttpProxy, 1));
    ASSERT_TRUE(settings::write(settings::value::HttpProxyName, proxyHost));
    ASSERT_TRUE(
        settings::write(settings::value::HttpProxyPort, static_cast<uint32_t>(proxy->Port())));

    HttpRequester requester(60);
    std::string reply;
    ASSERT_TRUE(requester.Post(origin.HostText(), "dir\\s.asp", "a=1", reply));
    EXPECT_EQ(reply, "via proxy");
    ASSERT_EQ(proxy->RequestLines().size(), 1u);
    EXPECT_EQ(proxy->RequestLines()[0], "POST http://" + origin.HostText() + "/dir/s.asp HTTP/1.1");
    EXPECT_TRUE(origin.Requests().empty());

    ASSERT_TRUE(settings::write(settings::value::UseHttpProxy, 0));
    ASSERT_TRUE(requester.Post(origin.HostText(), "dir\\s.asp", "a=1", reply));
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(proxy->RequestLines().size(), 1u);
    EXPECT_EQ(origin.Requests().size(), 1u);
}

TEST_F(HttpRequesterTest, ProxyEnvironmentVariablesAreIgnored) {
    TinyProxy proxy("127.0.0.1", 0);
    ASSERT_TRUE(proxy.Ok());
    const std::string url = "http://127.0.0.1:" + std::to_string(proxy.Port());
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        setenv(name, url.c_str(), 1);
    }
    LocalHttpServer origin;
    HttpRequester requester(60);
    std::string reply;
    EXPECT_TRUE(requester.Post(origin.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, "OK");
    EXPECT_TRUE(proxy.RequestLines().empty());

    // And an environment no_proxy list cannot bypass a configured proxy.
    setenv("no_proxy", "*", 1);
    ASSERT_TRUE(settings::write(settings::value::UseHttpProxy, 1));
    ASSERT_TRUE(settings::write(settings::value::HttpProxyName, "127.0.0.1"));
    ASSERT_TRUE(
        settings::write(settings::value::HttpProxyPort, static_cast<uint32_t>(proxy.Port())));
    EXPECT_TRUE(requester.Post(origin.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, "via proxy");
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy"}) {
        unsetenv(name);
    }
}

TEST_F(HttpRequesterTest, ProxyWithoutNameFails) {
    LocalHttpServer origin;
    ASSERT_TRUE(settings::write(settings::value::UseHttpProxy, 1));
    HttpRequester requester(60);
    std::string reply = "untouched";
    EXPECT_FALSE(requester.Post(origin.HostText(), "s.asp", "", reply));
    EXPECT_TRUE(origin.Requests().empty());
}

TEST_F(HttpRequesterTest, RepliesBeyondTheCapFail) {
    std::string content;
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.set_content(content, "text/plain");
    });
    HttpRequester requester(60);
    std::string reply = "untouched";
    content.assign(kMaxReplyBytes, 'a');
    EXPECT_TRUE(requester.Post(server.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply.size(), kMaxReplyBytes);
    reply = "untouched";
    content.push_back('b');
    EXPECT_FALSE(requester.Post(server.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, "untouched");
}

TEST_F(HttpRequesterTest, RepliesKeepEveryByte) {
    const std::string content("a\0b\xff\r\nc", 7);
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.set_content(content, "application/octet-stream");
    });
    HttpRequester requester(60);
    std::string reply;
    EXPECT_TRUE(requester.Post(server.HostText(), "s.asp", "", reply));
    EXPECT_EQ(reply, content);
}

TEST_F(HttpRequesterTest, OneObjectServesManyRequestsInSequence) {
    LocalHttpServer server([](const httplib::Request& request, httplib::Response& response) {
        response.set_content("echo:" + request.body, "text/plain");
    });
    HttpRequester requester(60);
    for (int i = 0; i < 20; ++i) {
        std::string reply;
        ASSERT_TRUE(requester.Post(server.HostText(), "s.asp", std::to_string(i), reply));
        EXPECT_EQ(reply, "echo:" + std::to_string(i));
    }
}

}  // namespace
