// Test helper: a reply parsed by expat into a small element tree, so tests check replies with
// an independent parser rather than against our own writer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::service::test {

struct XmlNode {
    std::string name;
    std::string text;  // character data directly inside this element
    std::vector<std::unique_ptr<XmlNode>> children;

    // Direct children of that name, in order.
    std::vector<const XmlNode*> all(std::string_view childName) const;
    // The text of the first direct child of that name; nothing when there is none.
    std::optional<std::string> value(std::string_view childName) const;
    const XmlNode* child(std::string_view childName) const;
};

// The root element, or nothing when expat reports an error.
std::unique_ptr<XmlNode> parseXml(std::string_view document);

}  // namespace ostrel::service::test
