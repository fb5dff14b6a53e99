#include "tests/service/XmlTree.h"

#include <expat.h>

namespace ostrel::service::test {

namespace {

struct ParseState {
    std::unique_ptr<XmlNode> root;
    std::vector<XmlNode*> stack;
};

void onStart(void* data, const XML_Char* name, const XML_Char**) {
    auto* state = static_cast<ParseState*>(data);
    auto node = std::make_unique<XmlNode>();
    node->name = name;
    XmlNode* raw = node.get();
    if (state->stack.empty()) {
        state->root = std::move(node);
    } else {
        state->stack.back()->children.push_back(std::move(node));
    }
    state->stack.push_back(raw);
}

void onEnd(void* data, const XML_Char*) {
    static_cast<ParseState*>(data)->stack.pop_back();
}

void onText(void* data, const XML_Char* text, int length) {
    auto* state = static_cast<ParseState*>(data);
    if (!state->stack.empty()) {
        state->stack.back()->text.append(text, length);
    }
}

}  // namespace

std::vector<const XmlNode*> XmlNode::all(std::string_view childName) const {
    std::vector<const XmlNode*> out;
    for (const auto& node : children) {
        if (node->name == childName) {
            out.push_back(node.get());
        }
    }
    return out;
}

const XmlNode* XmlNode::child(std::string_view childName) const {
    const auto found = all(childName);
    return found.empty() ? nullptr : found.front();
}

std::optional<std::string> XmlNode::value(std::string_view childName) const {
    const XmlNode* node = child(childName);
    if (node == nullptr) {
        return std::nullopt;
    }
    return node->text;
}

std::unique_ptr<XmlNode> parseXml(std::string_view document) {
    // UTF-8 forced, as the client does.
    XML_Parser parser = XML_ParserCreate("UTF-8");
    ParseState state;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    const bool ok =
        XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!ok) {
        return nullptr;
    }
    return std::move(state.root);
}

}  // namespace ostrel::service::test
