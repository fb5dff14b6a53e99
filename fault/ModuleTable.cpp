#include "fault/ModuleTable.h"

#include <link.h>
#include <sys/mman.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "fault/ElfSections.h"
#include "platform/Platform.h"

namespace ostrel::fault {

namespace {

struct Segment {
    uintptr_t begin;
    uintptr_t end;
};

struct Section {
    uint32_t number;
    uint64_t address;
    uint64_t size;
};

struct ModuleEntry {
    uintptr_t bias;
    uint32_t firstSegment;
    uint32_t segmentCount;
    uint32_t firstSection;
    uint32_t sectionCount;
    uint32_t pathOffset;
};

struct CollectedModule {
    uintptr_t bias = 0;
    std::string path;
    std::vector<Segment> segments;
};

int collectModule(dl_phdr_info* info, size_t, void* data) {
    auto& modules = *static_cast<std::vector<CollectedModule>*>(data);
    CollectedModule module;
    module.bias = info->dlpi_addr;
    const char* name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    if (*name == '\0') {
        // Only the main program has no name here.
        module.path = modules.empty() ? platform::programPath() : std::string();
    } else if (*name != '/') {
        char resolved[PATH_MAX];
        module.path = ::realpath(name, resolved) != nullptr ? resolved : name;
    } else {
        module.path = name;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD && header.p_memsz > 0) {
            const uintptr_t begin = info->dlpi_addr + header.p_vaddr;
            module.segments.push_back({begin, begin + header.p_memsz});
        }
    }
    if (!module.segments.empty()) {
        modules.push_back(std::move(module));
    }
    return 0;
}

int readCounters(dl_phdr_info* info, size_t size, void* data) {
    auto& counters = *static_cast<std::pair<unsigned long long, unsigned long long>*>(data);
    if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
        counters = {info->dlpi_adds, info->dlpi_subs};
    }
    return 1;  // the counters are the same in every entry
}

size_t alignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

// One block laid out as: this header, the module entries, their segments, their sections,
// then the NUL-terminated paths. Offsets are from the block's start.
struct ModuleTable::Image {
    size_t moduleCount;
    size_t modulesOffset;
    size_t segmentsOffset;
    size_t sectionsOffset;
    size_t pathsOffset;

    const char* base() const { return reinterpret_cast<const char*>(this); }
    const ModuleEntry* modules() const {
        return reinterpret_cast<const ModuleEntry*>(base() + modulesOffset);
    }
    const Segment* segments() const {
        return reinterpret_cast<const Segment*>(base() + segmentsOffset);
    }
    const Section* sections() const {
        return reinterpret_cast<const Section*>(base() + sectionsOffset);
    }
    const char* path(const ModuleEntry& entry) const {
        return base() + pathsOffset + entry.pathOffset;
    }
};

ModuleTable::~ModuleTable() {
    current_.store(nullptr);
    for (const auto& [address, length] : mappings_) {
        ::munmap(address, length);
    }
}

void ModuleTable::refresh() {
    std::lock_guard lock(refreshMutex_);
    std::pair<unsigned long long, unsigned long long> counters{0, 0};
    dl_iterate_phdr(readCounters, &counters);

    std::vector<CollectedModule> collected;
    dl_iterate_phdr(collectModule, &collected);

    std::vector<ModuleEntry> entries;
    std::vector<Segment> segments;
    std::vector<Section> sections;
    std::string paths;
    for (const CollectedModule& module : collected) {
        ModuleEntry entry{};
        entry.bias = module.bias;
        entry.firstSegment = static_cast<uint32_t>(segments.size());
        entry.segmentCount = static_cast<uint32_t>(module.segments.size());
        segments.insert(segments.end(), module.segments.begin(), module.segments.end());
        entry.firstSection = static_cast<uint32_t>(sections.size());
        if (!module.path.empty()) {
            for (const ElfSection& s : readElfSections(module.path)) {
                sections.push_back({s.number, s.address, s.size});
            }
        }
        entry.sectionCount = static_cast<uint32_t>(sections.size()) - entry.firstSection;
        entry.pathOffset = static_cast<uint32_t>(paths.size());
        paths += module.path;
        paths += '\0';
        entries.push_back(entry);
    }

    Image header{};
    header.moduleCount = entries.size();
    header.modulesOffset = alignUp(sizeof(Image), alignof(ModuleEntry));
    header.segmentsOffset =
        alignUp(header.modulesOffset + entries.size() * sizeof(ModuleEntry), alignof(Segment));
    header.sectionsOffset =
        alignUp(header.segmentsOffset + segments.size() * sizeof(Segment), alignof(Section));
    header.pathsOffset = header.sectionsOffset + sections.size() * sizeof(Section);
    const size_t length = header.pathsOffset + paths.size();

    void* block =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return;  // the previous table stays in force
    }
    char* bytes = static_cast<char*>(block);
    std::memcpy(bytes, &header, sizeof header);
    std::memcpy(bytes + header.modulesOffset, entries.data(), entries.size() * sizeof(ModuleEntry));
    std::memcpy(bytes + header.segmentsOffset, segments.data(), segments.size() * sizeof(Segment));
    std::memcpy(bytes + header.sectionsOffset, sections.data(), sections.size() * sizeof(Section));
    std::memcpy(bytes + header.pathsOffset, paths.data(), paths.size());
    // Read-only from here on: a wild write elsewhere in the client cannot damage the table.
    ::mprotect(block, length, PROT_READ);
    mappings_.emplace_back(block, length);
    loadCounters_ = counters;
    current_.store(static_cast<const Image*>(block), std::memory_order_release);
}

bool ModuleTable::refreshIfChanged() {
    std::pair<unsigned long long, unsigned long long> counters{0, 0};
    dl_iterate_phdr(readCounters, &counters);
    {
        std::lock_guard lock(refreshMutex_);
        if (current_.load() != nullptr && counters == loadCounters_) {
            return false;
        }
    }
    refresh();
    return true;
}

LogicalAddress ModuleTable::resolve(uintptr_t address) const noexcept {
    LogicalAddress result;
    const Image* image = current_.load(std::memory_order_acquire);
    if (image == nullptr) {
        return result;
    }
    for (size_t m = 0; m < image->moduleCount; ++m) {
        const ModuleEntry& entry = image->modules()[m];
        const Segment* segments = image->segments() + entry.firstSegment;
        bool inside = false;
        for (uint32_t s = 0; s < entry.segmentCount && !inside; ++s) {
            inside = address >= segments[s].begin && address < segments[s].end;
        }
        if (!inside) {
            continue;
        }
        const uint64_t fromBase = address - entry.bias;
        result.module = image->path(entry);
        result.offset = fromBase;
        const Section* sections = image->sections() + entry.firstSection;
        for (uint32_t s = 0; s < entry.sectionCount; ++s) {
            if (fromBase >= sections[s].address &&
                fromBase - sections[s].address < sections[s].size) {
                result.section = sections[s].number;
                result.offset = fromBase - sections[s].address;
                break;
            }
        }
        return result;
    }
    return result;
}

size_t ModuleTable::moduleCount() const noexcept {
    const Image* image = current_.load(std::memory_order_acquire);
    return image != nullptr ? image->moduleCount : 0;
}

}  // namespace ostrel::fault
