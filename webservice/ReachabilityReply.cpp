#include "webservice/ReachabilityReply.h"

#include "webservice/ReplyText.h"
#include "webservice/XmlReplyParser.h"

namespace ostrel::webservice {

namespace {

class ReachabilityGrammar : public XmlReplyGrammar {
public:
    explicit ReachabilityGrammar(ReachabilityReply& reply) : reply_(reply) {}

    void OnStart(std::string_view) override {}

    void OnEnd(std::string_view element, const std::string& value) override {
        if (SameElementName(element, "ipaddress")) {
            reply_.ipaddress = value;
        } else if (SameElementName(element, "err_description")) {
            reply_.err_description = value;
        } else if (SameElementName(element, "iptype")) {
            reply_.iptype = ReadReplyInteger(value);
        } else if (SameElementName(element, "error_code")) {
            reply_.error_code = ReadReplyInteger(value);
        }
    }

private:
    ReachabilityReply& reply_;
};

}  // namespace

bool ParseReachabilityReply(std::string_view text, ReachabilityReply& reply) {
    reply = ReachabilityReply();
    ReachabilityGrammar grammar(reply);
    return ParseXmlReply(text, grammar);
}

}  // namespace ostrel::webservice
