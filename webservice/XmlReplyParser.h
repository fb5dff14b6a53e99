// Web service client: the one expat pass that every XML reply goes through (login, online
// users, reachability). A grammar sees element starts and each element's text at its end.
// Runs on the thread that posted the request; one parser per reply, nothing shared.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::webservice {

class XmlReplyGrammar {
public:
    virtual ~XmlReplyGrammar() = default;
    // An element opened; the text gathered so far has just been dropped.
    virtual void OnStart(std::string_view element) = 0;
    // An element closed. `value` is the text after the last start or end tag, so an element
    // holding elements gets whatever follows its last child.
    virtual void OnEnd(std::string_view element, const std::string& value) = 0;
};

// Parses `text` minus its trailing blanks as one final buffer, with UTF-8 forced whatever the
// document declares. True when expat reports no error. A document type declaration (and so
// any entity declaration) is refused outright: the service never sends one, and refusing it
// rules out entity expansion of any size.
bool ParseXmlReply(std::string_view text, XmlReplyGrammar& grammar);

// ASCII case-insensitive equality of element names.
bool SameElementName(std::string_view a, std::string_view b);

}  // namespace ostrel::webservice
