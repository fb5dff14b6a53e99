// Builds the XML replies: a declaration, one root element and nested elements with text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::service {

class XmlWriter {
public:
    // Starts the document with the UTF-8 declaration (the first five characters are "<?xml",
    // which is how the client tells an XML reply from an error page) and opens `root`.
    explicit XmlWriter(std::string_view root);

    void open(std::string_view name);
    void close();
    void element(std::string_view name, std::string_view text);
    void element(std::string_view name, int64_t value);

    // Closes every open element, the root included, and hands over the text.
    std::string finish();

    // Escapes the five markup characters and replaces whatever would make the document not
    // well-formed (control characters, bytes that are not UTF-8) with "?": the client forces
    // UTF-8 on its parser, and a single bad byte in a stored name would otherwise turn every
    // later reply for that user into a parse error.
    static std::string escape(std::string_view text);

private:
    std::string text_;
    std::vector<std::string> open_;
};

}  // namespace ostrel::service
