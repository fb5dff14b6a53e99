// Test support: the two socket steps the raw loopback servers share, listening on an
// address and port and accepting with a short poll so a stop flag is seen.
// Plain functions, safe on any thread.
#pragma once

#include <string>

namespace ostrel::webservice::test {

// Listens on address:port (0 picks a free port) and stores the port bound; -1 on failure.
int listenOn(const std::string& address, int port, int& boundPort);

// Accepts one connection, or -1 after 50 ms so the caller can look at its stop flag.
int acceptSoon(int listenFd);

}  // namespace ostrel::webservice::test
