// The loaded modules with their paths, address ranges and section tables, read with
// dl_iterate_phdr and the modules' ELF files in ordinary code (start-up, after a library is
// loaded) into a read-only block, so a signal handler can resolve addresses without locks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::fault {

// Where an address lies: the 1-based section number and the offset in that section, and the
// module's path. Section 0 means no section holds it (offset is then from the module base);
// an empty path means no loaded module holds it.
struct LogicalAddress {
    uint32_t section = 0;
    uint64_t offset = 0;
    const char* module = "";
};

class ModuleTable {
public:
    ModuleTable() = default;
    ~ModuleTable();

    ModuleTable(const ModuleTable&) = delete;
    ModuleTable& operator=(const ModuleTable&) = delete;

    // Reads every loaded module again and publishes the new table. Ordinary code only.
    void refresh();
    // Refreshes only when modules were loaded or unloaded since the last read; true if it did.
    bool refreshIfChanged();

    // Async-signal-safe: reads only the published block.
    LogicalAddress resolve(uintptr_t address) const noexcept;

    size_t moduleCount() const noexcept;

private:
    struct Image;

    std::atomic<const Image*> current_{nullptr};
    // Guards the two below and serialises refreshes. Tables replaced by a refresh stay mapped
    // until destruction: a crash on another thread may still be reading one.
    std::mutex refreshMutex_;
    std::vector<std::pair<void*, size_t>> mappings_;
    std::pair<unsigned long long, unsigned long long> loadCounters_{0, 0};
};

}  // namespace ostrel::fault
