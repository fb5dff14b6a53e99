// Stands in for the problem reporter: records its arguments (each ended by NUL) and the signal
// mask it started with, then exits.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const char* record = std::getenv("OSTREL_TEST_REPORTER_RECORD");
    if (record == nullptr) {
        return 2;
    }
    std::string blocked;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigBlk:", 0) == 0) {
            blocked = line.substr(7);
        }
    }
    const std::string temporary = std::string(record) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        for (int i = 0; i < argc; ++i) {
            out << argv[i] << '\0';
        }
    }
    std::ofstream(std::string(record) + ".sigmask") << blocked;
    // Appears whole or not at all for the test that waits for it.
    std::rename(temporary.c_str(), record);
    return 0;
}
