// Stands in for the client when ferrule restarts it: writes what a restarted client would
// see (its arguments, session and signal state) to the file named by FERRULE_TEST_MARKER,
// then exits.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const char* marker = std::getenv("FERRULE_TEST_MARKER");
    if (marker == nullptr) {
        return 2;
    }
    const std::string temporary = std::string(marker) + ".part";
    {
        std::ofstream out(temporary);
        out << "argc=" << argc << "\n";
        out << "argv0=" << argv[0] << "\n";
        out << "pid=" << ::getpid() << "\n";
        out << "sid=" << ::getsid(0) << "\n";
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) {
                out << line << "\n";
            }
        }
    }
    // Appears whole or not at all for the test that polls for it.
    return std::rename(temporary.c_str(), marker) == 0 ? 0 : 1;
}
