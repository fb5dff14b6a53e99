// talvero-service: the reference Talvero web service and its administration subcommands.
#include <signal.h>

#include <iostream>

#include "service/ServiceCommandLine.h"

namespace {

// Blocked before any thread starts, so every thread inherits the mask and only the main
// thread's sigwait receives SIGINT and SIGTERM.
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

int main(int argc, char** argv) {
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A client that hangs up mid-reply must not end the service.
    signal(SIGPIPE, SIG_IGN);
    const auto waitForStop = [&signals] {
        int received = 0;
        sigwait(&signals, &received);
    };
    ostrel::service::ServiceCommandLine commandLine(std::cout, std::cerr, std::cin, waitForStop);
    return commandLine.run(std::vector<std::string>(argv + 1, argv + argc));
}
