#include "service/FormFields.h"

#include <charconv>

namespace ostrel::service {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<FormFields> FormFields::parse(std::string_view body) {
    FormFields form;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        const std::string_view piece = body.substr(start, end - start);
        if (!piece.empty()) {
            const std::size_t equals = piece.find('=');
            auto name = decode(piece.substr(0, equals));
            auto value = decode(equals == std::string_view::npos ? std::string_view()
                                                                 : piece.substr(equals + 1));
            if (!name || !value) {
                return std::nullopt;
            }
            form.fields_.emplace_back(std::move(*name), std::move(*value));
        }
        start = end + 1;
    }
    return form;
}

bool FormFields::sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

const std::string* FormFields::find(std::string_view name) const {
    for (const Field& field : fields_) {
        if (sameName(field.first, name)) {
            return &field.second;
        }
    }
    return nullptr;
}

std::optional<std::string> FormFields::text(std::string_view name, std::size_t maxLength) const {
    const std::string* value = find(name);
    if (value == nullptr || value->size() > maxLength) {
        return std::nullopt;
    }
    return *value;
}

std::optional<int64_t> FormFields::number(std::string_view name, int64_t min, int64_t max) const {
    const std::string* value = find(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return parseNumber(*value, min, max);
}

std::optional<int64_t> FormFields::parseNumber(std::string_view text, int64_t min, int64_t max) {
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace ostrel::service
