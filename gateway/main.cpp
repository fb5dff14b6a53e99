// talvero-gateway: a reference telephone gateway, a lookup host and a bridge on two UDP ports.
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "gateway/Bridge.h"
#include "gateway/GatewayOptions.h"
#include "gateway/LookupHost.h"
#include "gateway/StreamEventSink.h"

using namespace ostrel::gateway;
using ostrel::platform::SocketAddress;

namespace {

// Waits for SIGINT or SIGTERM, or `seconds` when not 0. The signals are blocked in every
// thread, so only this wait receives them.
void waitForStop(const sigset_t& signals, uint32_t seconds) {
    if (seconds == 0) {
        int received = 0;
        sigwait(&signals, &received);
        return;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += seconds;
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_nsec += 1000000000L;
            --left.tv_sec;
        }
        if (left.tv_sec < 0) {
            return;
        }
        if (sigtimedwait(&signals, nullptr, &left) >= 0 || errno != EINTR) {
            return;  // a stop signal, or the time is up (EAGAIN)
        }
    }
}

int cannotBind(const char* what, uint16_t port, int error) {
    std::cerr << "talvero-gateway: cannot bind the " << what << " port " << port << ": "
              << std::strerror(error) << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options =
        GatewayOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "talvero-gateway: " << error << "\n" << GatewayOptions::usage();
        return 2;
    }
    if (options->help) {
        std::cout << GatewayOptions::usage();
        return 0;
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A reader of the event lines that goes away must not end the calls in progress.
    signal(SIGPIPE, SIG_IGN);

    StreamEventSink events(std::cout);
    Bridge bridge(options->bridge, events);
    int bindError = 0;
    if (!bridge.start({SocketAddress::kAny, options->bridgePort}, &bindError)) {
        return cannotBind("bridge", options->bridgePort, bindError);
    }
    const uint16_t advertisedPort =
        options->advertisePort != 0 ? options->advertisePort : bridge.port();
    LookupHost lookup(options->advertiseHost, advertisedPort, options->silent, events);
    if (!lookup.start({SocketAddress::kAny, options->lookupPort}, &bindError)) {
        bridge.stop();
        return cannotBind("lookup", options->lookupPort, bindError);
    }
    events.event("listening lookup=" + std::to_string(lookup.port()) + " bridge=" +
                 std::to_string(bridge.port()) + " advertise=" + options->advertiseHost + ":" +
                 std::to_string(advertisedPort) + " voice=" + options->voiceText() +
                 (options->silent ? " silent" : "") + (options->bridge.reject ? " reject" : ""));

    waitForStop(signals, options->seconds);
    lookup.stop();
    bridge.stop();
    events.event("stopped");
    return 0;
}
