// The settings file text on any content: a rewrite keeps every line it does not change, a
// value written is the value read back, and the other values stay as they were.
#include <string>

#include "app/settings/SettingsFile.h"
#include "fuzz/support/FuzzCheck.h"

using namespace ostrel::settings;

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string name = input.ConsumeRandomLengthString(40);
    SettingValue value;
    if (input.ConsumeBool()) {
        value = input.ConsumeIntegral<uint32_t>();
    } else {
        value = input.ConsumeRandomLengthString(120);
    }
    const std::string content = input.ConsumeRemainingBytesAsString();

    const std::vector<SettingLine> lines = parseSettings(content);
    // Nothing is lost in reading: the lines put together are the content.
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        joined += lines[i].text;
        if (i + 1 < lines.size() || (!content.empty() && content.back() == '\n')) {
            joined += '\n';
        }
    }
    FUZZ_CHECK(joined == content);
    for (const SettingLine& line : lines) {
        FUZZ_CHECK(!line.name || !line.name->empty());
    }
    if (name.empty()) {
        return 0;
    }

    const std::vector<SettingLine> written = parseSettings(updateSettings(lines, name, value));
    const SettingLine* found = findSetting(written, name);
    FUZZ_CHECK(found != nullptr);
    FUZZ_CHECK(found->value == value);
    for (const SettingLine& line : lines) {
        if (!line.name || equalIgnoringCase(*line.name, name)) {
            continue;
        }
        const SettingLine* before = findSetting(lines, *line.name);
        const SettingLine* after = findSetting(written, *line.name);
        FUZZ_CHECK(after != nullptr && after->value == before->value);
    }

    const std::vector<SettingLine> removed = parseSettings(updateSettings(lines, name, {}));
    FUZZ_CHECK(findSetting(removed, name) == nullptr);

    const std::vector<SettingLine> single = parseSettings(formatSettingLine(name, value));
    FUZZ_CHECK(single.size() == 1 && single[0].name == name && single[0].value == value);
    return 0;
}
