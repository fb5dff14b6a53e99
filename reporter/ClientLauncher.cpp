#include "reporter/ClientLauncher.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

extern char** environ;

namespace ostrel::reporter {

pid_t startClient(const std::string& path) {
    if (path.empty()) {
        return -1;
    }
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        return -1;
    }
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    // glibc reports a failed exec as posix_spawn's result, so a missing client is seen here.
    const int error = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        platform::trace("Cannot start " + path + ": " + std::strerror(error));
        return -1;
    }
    return pid;
}

void unblockAllSignals() {
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace ostrel::reporter
