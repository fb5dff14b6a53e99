// Opening a recording of any content and walking it the way the player does: the cursor never
// leaves the mapped file, and every record it hands out is whole.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/support/FuzzCheck.h"
#include "recording/RecordFileCursor.h"

namespace {

constexpr uint32_t kRecord = 330;

const std::string& scratchFile() {
    static const std::string path = [] {
        std::string pattern = "/tmp/ostrel-record-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) {
            close(fd);
        }
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const size_t seekTo = input.ConsumeIntegral<uint16_t>();
    const auto bytes = input.ConsumeRemainingBytes<uint8_t>();
    const int fd = open(scratchFile().c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) {
        return 0;
    }
    const bool written = bytes.empty() || write(fd, bytes.data(), bytes.size()) ==
                                              static_cast<ssize_t>(bytes.size());
    close(fd);
    if (!written) {
        return 0;
    }

    ostrel::recording::RecordFileCursor cursor;
    if (!cursor.open(scratchFile(), kRecord)) {
        FUZZ_CHECK(bytes.empty());
        return 0;
    }
    FUZZ_CHECK(cursor.size() == bytes.size());
    size_t seen = 0;
    while (const uint8_t* record = cursor.record()) {
        FUZZ_CHECK(record >= cursor.base() && record + kRecord <= cursor.base() + cursor.size());
        ++seen;
        if (!cursor.next()) {
            break;
        }
    }
    FUZZ_CHECK(seen == bytes.size() / kRecord);
    FUZZ_CHECK(cursor.seekRecord(seekTo) == (seekTo < cursor.recordCount()));
    FUZZ_CHECK(cursor.offset() <= cursor.size());
    cursor.close();
    return 0;
}
