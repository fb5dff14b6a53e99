#include "tests/fault/ElfReference.h"

#include <cstdio>
#include <sstream>

namespace ostrel::fault::test {

namespace {

std::string runCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        pclose(pipe);
    }
    return out;
}

}  // namespace

std::vector<ReferenceSection> readelfSections(const std::string& path) {
    // "  [ 1] .interp   PROGBITS   0000000000000318 000318 00001c 00   A  0   0  1"
    std::vector<ReferenceSection> sections;
    std::istringstream lines(runCommand("LC_ALL=C readelf -SW '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        const auto open = line.find('[');
        const auto close = line.find(']');
        if (open == std::string::npos || close == std::string::npos || close < open ||
            line.find("Nr]") != std::string::npos) {
            continue;
        }
        ReferenceSection s;
        try {
            s.number = static_cast<uint32_t>(std::stoul(line.substr(open + 1, close - open - 1)));
        } catch (...) {
            continue;
        }
        std::istringstream fields(line.substr(close + 1));
        std::string address, offset, size, entrySize;
        if (s.number == 0 || !(fields >> s.name >> s.type >> address >> offset >> size)) {
            continue;
        }
        s.address = std::stoull(address, nullptr, 16);
        s.size = std::stoull(size, nullptr, 16);
        fields >> entrySize;
        // Flags are letters; a section without flags goes straight to the link number.
        std::string next;
        if (fields >> next && !next.empty() && std::isalpha(static_cast<unsigned char>(next[0]))) {
            s.flags = next;
        }
        sections.push_back(s);
    }
    return sections;
}

std::vector<ReferenceSymbol> nmFunctions(const std::string& path) {
    // "0000000000001139 000000000000001b T faultProbeWrite"
    std::vector<ReferenceSymbol> symbols;
    std::istringstream lines(runCommand("LC_ALL=C nm -S --defined-only '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, size, type, name;
        if (!(fields >> address >> size >> type >> name) || (type != "T" && type != "t")) {
            continue;
        }
        symbols.push_back(
            {name, std::stoull(address, nullptr, 16), std::stoull(size, nullptr, 16)});
    }
    return symbols;
}

std::optional<ReferenceSection> sectionNumbered(const std::vector<ReferenceSection>& sections,
                                                uint32_t number) {
    for (const auto& s : sections) {
        if (s.number == number) {
            return s;
        }
    }
    return std::nullopt;
}

std::optional<std::string> functionAt(const std::vector<ReferenceSymbol>& symbols,
                                      uint64_t address) {
    for (const auto& s : symbols) {
        if (address >= s.address && address < s.address + s.size) {
            return s.name;
        }
    }
    return std::nullopt;
}

}  // namespace ostrel::fault::test
