#include "fault/ModuleTable.h"

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fault/ElfSections.h"
#include "tests/fault/ElfReference.h"

using namespace ostrel::fault;
using namespace ostrel::fault::test;
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = fs::canonical(PROBE_LIBRARY_PATH).string();

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<ElfSection> parseBytes(const std::vector<char>& bytes, uint64_t fileSize) {
    return parseElfSections(
        [&](uint64_t offset, void* out, size_t length) {
            if (offset > bytes.size() || bytes.size() - offset < length) {
                return false;
            }
            std::memcpy(out, bytes.data() + offset, length);
            return true;
        },
        fileSize);
}

Elf64_Ehdr& headerOf(std::vector<char>& bytes) {
    return *reinterpret_cast<Elf64_Ehdr*>(bytes.data());
}

}  // namespace

// A function of the test program itself.
extern "C" __attribute__((noinline)) int ModuleTableTestAnchor(int x) {
    return x * 3 + 1;
}

TEST(ElfSections, MatchReadelfForEveryAllocatedSection) {
    std::vector<ElfSection> expected;
    for (const ReferenceSection& s : readelfSections(kLibrary)) {
        if (s.flags.find('A') != std::string::npos && s.size > 0) {
            expected.push_back({s.number, s.address, s.size});
        }
    }
    ASSERT_GT(expected.size(), 5u);
    const std::vector<ElfSection> sections = readElfSections(kLibrary);
    ASSERT_EQ(sections.size(), expected.size());
    for (size_t i = 0; i < sections.size(); ++i) {
        EXPECT_EQ(sections[i].number, expected[i].number);
        EXPECT_EQ(sections[i].address, expected[i].address);
        EXPECT_EQ(sections[i].size, expected[i].size);
    }
}

TEST(ElfSections, ReadTheCountFromTheNullEntryWhenTheHeaderHasNone) {
    std::vector<char> bytes = fileBytes(kLibrary);
    const auto normal = parseBytes(bytes, bytes.size());
    Elf64_Ehdr& header = headerOf(bytes);
    auto* first = reinterpret_cast<Elf64_Shdr*>(bytes.data() + header.e_shoff);
    first->sh_size = header.e_shnum;
    header.e_shnum = 0;
    const auto extended = parseBytes(bytes, bytes.size());
    ASSERT_EQ(extended.size(), normal.size());
    EXPECT_EQ(extended.back().number, normal.back().number);
}

struct Damage {
    const char* name;
    void (*apply)(std::vector<char>& bytes, uint64_t& fileSize);
};

class ElfDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(ElfDamage, YieldsNoSections) {
    std::vector<char> bytes = fileBytes(kLibrary);
    ASSERT_FALSE(parseBytes(bytes, bytes.size()).empty());
    uint64_t fileSize = bytes.size();
    GetParam().apply(bytes, fileSize);
    EXPECT_TRUE(parseBytes(bytes, fileSize).empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, ElfDamage,
                         ::testing::Values(Damage{"BadMagic", [](std::vector<char>& b,
                                                                 uint64_t&) { b[1] = 'X'; }},
                                           Damage{"Class32",
                                                  [](std::vector<char>& b, uint64_t&) {
                                                      b[EI_CLASS] = ELFCLASS32;
                                                  }},
                                           Damage{"BigEndian",
                                                  [](std::vector<char>& b, uint64_t&) {
                                                      b[EI_DATA] = ELFDATA2MSB;
                                                  }},
                                           Damage{"ShortFile", [](std::vector<char>&,
                                                                  uint64_t& size) { size = 40; }},
                                           Damage{"TableCut",
                                                  [](std::vector<char>& b, uint64_t& size) {
                                                      size = headerOf(b).e_shoff +
                                                             sizeof(Elf64_Shdr) * 2;
                                                  }},
                                           Damage{"TableBeyondFile",
                                                  [](std::vector<char>& b, uint64_t&) {
                                                      headerOf(b).e_shoff = ~uint64_t{0} - 8;
                                                  }},
                                           Damage{"NoTable",
                                                  [](std::vector<char>& b, uint64_t&) {
                                                      headerOf(b).e_shoff = 0;
                                                  }},
                                           Damage{"SmallEntries",
                                                  [](std::vector<char>& b, uint64_t&) {
                                                      headerOf(b).e_shentsize = 16;
                                                  }},
                                           Damage{
                                               "CountTooLarge",
                                               [](std::vector<char>& b, uint64_t&) {
                                                   headerOf(b).e_shnum = 0;
                                                   auto* first = reinterpret_cast<Elf64_Shdr*>(
                                                       b.data() + headerOf(b).e_shoff);
                                                   first->sh_size = uint64_t{1} << 40;
                                               }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ElfSections, MissingOrNonElfFilesYieldNone) {
    EXPECT_TRUE(readElfSections("/no/such/file").empty());
    EXPECT_TRUE(readElfSections("/proc/self/status").empty());
    EXPECT_TRUE(readElfSections("/").empty());
}

TEST(ModuleTable, ResolvesAFunctionOfALibraryLoadedLater) {
    ModuleTable table;
    EXPECT_STREQ(table.resolve(reinterpret_cast<uintptr_t>(&ModuleTableTestAnchor)).module, "")
        << "empty before the first read";
    table.refresh();
    EXPECT_GT(table.moduleCount(), 2u);

    void* library = dlopen(kLibrary.c_str(), RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto function = reinterpret_cast<uintptr_t>(dlsym(library, "faultProbeWrite"));
    ASSERT_NE(function, 0u);
    EXPECT_STREQ(table.resolve(function).module, "") << "not in the table until refreshed";

    EXPECT_TRUE(table.refreshIfChanged());
    EXPECT_FALSE(table.refreshIfChanged());
    const LogicalAddress where = table.resolve(function + 2);

    uint64_t symbol = 0;
    for (const ReferenceSymbol& s : nmFunctions(kLibrary)) {
        if (s.name == "faultProbeWrite") {
            symbol = s.address;
        }
    }
    ASSERT_NE(symbol, 0u);
    const auto sections = readelfSections(kLibrary);
    const auto text = sectionNumbered(sections, where.section);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->name, ".text");
    EXPECT_EQ(where.offset, symbol + 2 - text->address);
    EXPECT_EQ(std::string(where.module), kLibrary);
    dlclose(library);
}

TEST(ModuleTable, NamesTheMainProgramAndNothingForStrayAddresses) {
    ModuleTable table;
    table.refresh();
    const LogicalAddress own = table.resolve(reinterpret_cast<uintptr_t>(&ModuleTableTestAnchor));
    EXPECT_EQ(std::string(own.module), fs::canonical("/proc/self/exe").string());
    EXPECT_NE(own.section, 0u);

    const LogicalAddress stray = table.resolve(16);
    EXPECT_STREQ(stray.module, "");
    EXPECT_EQ(stray.section, 0u);
    EXPECT_EQ(stray.offset, 0u);
}
