// Reads the section header table of an ELF file (64-bit, little-endian) at start-up, so the
// crash handler can name the section that holds an address without touching the file later.
// Called from ordinary code only: it allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ostrel::fault {

// One section that occupies memory when the module is loaded.
struct ElfSection {
    uint32_t number = 0;   // index in the section header table (index 0 is the null entry)
    uint64_t address = 0;  // link-time virtual address; add the load bias for the run-time one
    uint64_t size = 0;
};

// Reads `length` bytes at `offset` into `out`; false when they are not all there.
using ElfByteReader = std::function<bool(uint64_t offset, void* out, size_t length)>;

// The allocated sections (SHF_ALLOC, non-empty, thread-local templates left out because they
// overlap the sections after them), in table order. Empty when the header is not a 64-bit
// little-endian ELF header or any offset or count points past `fileSize`.
std::vector<ElfSection> parseElfSections(const ElfByteReader& read, uint64_t fileSize);

// The same for a file on disk; empty when it cannot be opened.
std::vector<ElfSection> readElfSections(const std::string& path);

}  // namespace ostrel::fault
