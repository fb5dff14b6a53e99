// Problem reporter: starts the client again after the report, detached from ferrule so that
// ferrule's exit, its session and the signal state it inherited from the crash handler do not
// reach the new client. Called on the GUI thread.
#pragma once

#include <sys/types.h>

#include <string>

namespace ostrel::reporter {

// Starts `path` with no arguments and ferrule's environment, in a session of its own, with
// every signal unblocked and at its default action. The process id, or -1 when the program
// cannot be started (missing, not executable). Ferrule does not wait for it; its exit hands
// the client to init.
pid_t startClient(const std::string& path);

// Unblocks every signal: the crash handler starts ferrule from a signal handler, whose
// blocked signals a new process would otherwise keep for life.
void unblockAllSignals();

}  // namespace ostrel::reporter
