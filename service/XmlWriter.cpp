#include "service/XmlWriter.h"

namespace ostrel::service {

namespace {

// Length of the well-formed UTF-8 sequence at text[i] that XML allows, or 0.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    const bool notCharacter = code == 0xFFFE || code == 0xFFFF || code > 0x10FFFF;
    return (overlong || surrogate || notCharacter) ? 0 : length;
}

}  // namespace

XmlWriter::XmlWriter(std::string_view root) {
    text_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    open(root);
}

void XmlWriter::open(std::string_view name) {
    text_ += '<';
    text_ += name;
    text_ += '>';
    open_.emplace_back(name);
}

void XmlWriter::close() {
    if (open_.empty()) {
        return;
    }
    text_ += "</";
    text_ += open_.back();
    text_ += ">";
    open_.pop_back();
    if (open_.size() <= 1) {
        text_ += '\n';
    }
}

void XmlWriter::element(std::string_view name, std::string_view text) {
    text_ += '<';
    text_ += name;
    text_ += '>';
    text_ += escape(text);
    text_ += "</";
    text_ += name;
    text_ += ">";
    if (open_.size() <= 1) {
        text_ += '\n';
    }
}

void XmlWriter::element(std::string_view name, int64_t value) {
    element(name, std::to_string(value));
}

std::string XmlWriter::finish() {
    while (!open_.empty()) {
        close();
    }
    return std::move(text_);
}

std::string XmlWriter::escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8Length(text, i);
            if (length == 0) {
                out += '?';
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\t':
            case '\n':
            case '\r':
                out += static_cast<char>(c);
                break;
            default:
                out += (c < 0x20) ? '?' : static_cast<char>(c);
                break;
        }
        ++i;
    }
    return out;
}

}  // namespace ostrel::service
