#include "reporter/ReportText.h"

#include <sys/utsname.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "reporter/ReporterSwitches.h"

namespace ostrel::reporter {

namespace {

// The whole file as bytes, or nothing when it cannot be read as a plain file.
bool readWholeFile(const std::string& path, std::string& content) {
    std::error_code error;
    if (path.empty() || std::filesystem::is_directory(path, error)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void appendRules(std::string& text) {
    for (int i = 0; i < 2; ++i) {
        text += kReportRule;
        text += "\r\n";
    }
}

// Each line of the report file (ended by "\n", or the file's end) in pieces of at most
// kReportLineLimit bytes, each followed by CRLF. A CR before the "\n" belongs to the line end.
void appendReportLines(std::string& text, const std::string& content) {
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        const size_t next = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos) {
            end = content.size();
        }
        if (end > start && content[end - 1] == '\r') {
            --end;
        }
        size_t piece = start;
        do {
            const size_t length = std::min(kReportLineLimit, end - piece);
            text.append(content, piece, length);
            text += "\r\n";
            piece += length;
        } while (piece < end);
        start = next;
    }
}

}  // namespace

SystemInfo currentSystemInfo() {
    utsname names{};
    if (::uname(&names) != 0) {
        return {};
    }
    return {names.sysname, names.release, names.version};
}

std::string buildReportText(const SystemInfo& system, std::string_view reportFile) {
    std::string text;
    appendRules(text);
    text += "Operating System : " + system.name + "\r\n";
    text += "Build Number : " + system.release + "\r\n";
    text += system.version + "\r\n";
    appendRules(text);
    text += "\r\n";

    std::string content;
    if (readWholeFile(withoutQuotes(std::string(reportFile)), content)) {
        appendReportLines(text, content);
    }
    return text;
}

}  // namespace ostrel::reporter
