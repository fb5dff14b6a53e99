#include "webservice/XmlReplyParser.h"

#include <expat.h>

#include <climits>
#include <exception>
#include <memory>

#include "webservice/ReplyText.h"

namespace ostrel::webservice {

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

struct ParseState {
    XML_Parser parser;
    XmlReplyGrammar* grammar;
    std::string text;  // the accumulator: character data since the last tag
    bool failed = false;
};

// A grammar callback that throws (out of memory) must not unwind through expat's C frames.
template <typename Action>
void guarded(ParseState* state, Action action) {
    if (state->failed) {
        return;
    }
    try {
        action();
    } catch (const std::exception&) {
        state->failed = true;
        XML_StopParser(state->parser, XML_FALSE);
    }
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** /*attributes*/) {
    auto* state = static_cast<ParseState*>(user);
    guarded(state, [&] {
        state->text.clear();
        state->grammar->OnStart(name);
    });
}

void XMLCALL onEnd(void* user, const XML_Char* name) {
    auto* state = static_cast<ParseState*>(user);
    guarded(state, [&] {
        state->grammar->OnEnd(name, state->text);
        state->text.clear();
    });
}

void XMLCALL onText(void* user, const XML_Char* data, int length) {
    auto* state = static_cast<ParseState*>(user);
    guarded(state, [&] { state->text.append(data, static_cast<size_t>(length)); });
}

void XMLCALL refuseDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* state = static_cast<ParseState*>(user);
    state->failed = true;
    XML_StopParser(state->parser, XML_FALSE);
}

void XMLCALL refuseEntity(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* state = static_cast<ParseState*>(user);
    state->failed = true;
    XML_StopParser(state->parser, XML_FALSE);
}

}  // namespace

bool SameElementName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool ParseXmlReply(std::string_view text, XmlReplyGrammar& grammar) {
    text = TrimTrailingBlanks(text);
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) {
        return false;
    }
    ParseState state{parser.get(), &grammar, {}, false};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    XML_SetStartDoctypeDeclHandler(parser.get(), refuseDoctype);
    XML_SetEntityDeclHandler(parser.get(), refuseEntity);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    const XML_Status status =
        XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE);
    return status == XML_STATUS_OK && !state.failed;
}

}  // namespace ostrel::webservice
