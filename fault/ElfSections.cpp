#include "fault/ElfSections.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ostrel::fault {

namespace {

// More than any real module has; bounds the work a damaged header can cause.
constexpr uint64_t kMaxSections = 1u << 16;

}  // namespace

std::vector<ElfSection> parseElfSections(const ElfByteReader& read, uint64_t fileSize) {
    Elf64_Ehdr header{};
    if (fileSize < sizeof header || !read(0, &header, sizeof header)) {
        return {};
    }
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
        return {};
    }
    if (header.e_shoff == 0 || header.e_shentsize < sizeof(Elf64_Shdr)) {
        return {};
    }
    const uint64_t entrySize = header.e_shentsize;
    const uint64_t tableOffset = header.e_shoff;
    if (tableOffset > fileSize || fileSize - tableOffset < entrySize) {
        return {};
    }
    uint64_t count = header.e_shnum;
    if (count == 0) {
        // More than 0xff00 sections: the real count is in the null entry's size.
        Elf64_Shdr first{};
        if (!read(tableOffset, &first, sizeof first)) {
            return {};
        }
        count = first.sh_size;
    }
    if (count == 0 || count > kMaxSections || (fileSize - tableOffset) / entrySize < count) {
        return {};
    }

    std::vector<ElfSection> sections;
    for (uint64_t i = 1; i < count; ++i) {
        Elf64_Shdr entry{};
        if (!read(tableOffset + i * entrySize, &entry, sizeof entry)) {
            return {};
        }
        const bool allocated = (entry.sh_flags & SHF_ALLOC) != 0;
        const bool tlsTemplate = (entry.sh_flags & SHF_TLS) != 0 && entry.sh_type == SHT_NOBITS;
        if (!allocated || tlsTemplate || entry.sh_size == 0 ||
            entry.sh_addr + entry.sh_size < entry.sh_addr) {
            continue;
        }
        sections.push_back({static_cast<uint32_t>(i), entry.sh_addr, entry.sh_size});
    }
    return sections;
}

std::vector<ElfSection> readElfSections(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    struct stat info {};
    std::vector<ElfSection> sections;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const auto read = [fd](uint64_t offset, void* out, size_t length) {
            auto* bytes = static_cast<char*>(out);
            size_t done = 0;
            while (done < length) {
                const ssize_t n =
                    ::pread(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    return false;
                }
                done += static_cast<size_t>(n);
            }
            return true;
        };
        sections = parseElfSections(read, static_cast<uint64_t>(info.st_size));
    }
    ::close(fd);
    return sections;
}

}  // namespace ostrel::fault
