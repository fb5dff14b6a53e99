// Test support: reads what the stand-in client wrote when it was started, and reaps it.
// Use on the test's thread.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

namespace ostrel::reporter::test {

// Waits up to `timeoutMs` for the marker file; its "key=value" or "Key:\tvalue" lines, or an
// empty map when it never appeared.
std::map<std::string, std::string> waitForMarker(const std::string& path, int timeoutMs);

// Waits for the stand-in client to end; its exit status, or -1.
int reap(pid_t pid);

}  // namespace ostrel::reporter::test
