// Section tables and symbols of a module as binutils' readelf and nm report them: the
// reference the report's section numbers and offsets are checked against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::fault::test {

struct ReferenceSection {
    uint32_t number = 0;
    std::string name;
    std::string type;
    uint64_t address = 0;
    uint64_t size = 0;
    std::string flags;
};

struct ReferenceSymbol {
    std::string name;
    uint64_t address = 0;
    uint64_t size = 0;
};

std::vector<ReferenceSection> readelfSections(const std::string& path);
std::vector<ReferenceSymbol> nmFunctions(const std::string& path);

std::optional<ReferenceSection> sectionNumbered(const std::vector<ReferenceSection>& sections,
                                                uint32_t number);
// The function whose [address, address + size) holds a link-time address.
std::optional<std::string> functionAt(const std::vector<ReferenceSymbol>& symbols,
                                      uint64_t address);

}  // namespace ostrel::fault::test
