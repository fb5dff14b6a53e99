#include "webservice/OnlineUsersReply.h"

#include "webservice/ReplyText.h"
#include "webservice/XmlReplyParser.h"

namespace ostrel::webservice {

namespace {

class OnlineUsersGrammar : public XmlReplyGrammar {
public:
    explicit OnlineUsersGrammar(OnlineUsersReply& reply) : reply_(reply) {}

    void OnStart(std::string_view element) override {
        if (SameElementName(element, "buddy")) {
            current_ = BuddyPresence();
        }
    }

    void OnEnd(std::string_view element, const std::string& value) override {
        if (SameElementName(element, "buddy")) {
            reply_.buddies.push_back(current_);
        } else if (SameElementName(element, "userid")) {
            current_.userid = value;
        } else if (SameElementName(element, "ipaddress")) {
            current_.ipaddress = value;
        } else if (SameElementName(element, "listening_port")) {
            current_.listening_port = ReadReplyInteger(value);
        } else if (SameElementName(element, "version")) {
            current_.version = ReadReplyInteger(value);
        } else if (SameElementName(element, "iptype")) {
            current_.iptype = ReadReplyInteger(value);
        } else if (SameElementName(element, "errcode")) {
            reply_.errcode = ReadReplyInteger(value);
        } else if (SameElementName(element, "err_description")) {
            reply_.err_description = value;
        }
    }

private:
    OnlineUsersReply& reply_;
    BuddyPresence current_;
};

}  // namespace

bool ParseOnlineUsersReply(std::string_view text, OnlineUsersReply& reply) {
    reply.Reset();
    OnlineUsersGrammar grammar(reply);
    return ParseXmlReply(TrimBlanks(text), grammar);
}

bool OnlineUsersReplyGood(std::string_view text, OnlineUsersReply& reply) {
    return ParseOnlineUsersReply(text, reply) && reply.errcode == 0;
}

}  // namespace ostrel::webservice
