#include "webservice/StatusReplies.h"

#include "webservice/ReplyText.h"

namespace ostrel::webservice {

namespace {

bool startsWith(std::string_view text, char c) {
    return !text.empty() && text.front() == c;
}

}  // namespace

bool LogoffAccepted(std::string_view reply) {
    return startsWith(reply, '+');
}

KeepAliveVerdict JudgeKeepAliveReply(std::string_view reply) {
    if (startsWith(reply, '#')) {
        return KeepAliveVerdict::LoggedOffByService;
    }
    if (startsWith(reply, '-')) {
        return KeepAliveVerdict::LogOffSilently;
    }
    return KeepAliveVerdict::Accepted;
}

OnlineUsersReplyKind ClassifyOnlineUsersReply(std::string_view reply) {
    const std::string_view text = TrimBlanks(reply);
    if (text.empty()) {
        return OnlineUsersReplyKind::Empty;
    }
    return text.substr(0, 5) == "<?xml" ? OnlineUsersReplyKind::Xml : OnlineUsersReplyKind::NotXml;
}

bool CallingCardsStored(std::string_view reply) {
    return startsWith(TrimBlanks(reply), '+');
}

uint32_t CallReportSessionId(std::string_view reply, uint32_t currentSessionId) {
    if (currentSessionId != 0 || !startsWith(reply, '+') || reply.size() < 5) {
        return currentSessionId;
    }
    // Session numbers are unsigned; a negative text is no number at all.
    const int32_t number = ReadReplyInteger(reply.substr(4));
    return number > 0 ? static_cast<uint32_t>(number) : currentSessionId;
}

std::optional<std::string> ProblemReportMessage(std::string_view reply) {
    if (!startsWith(reply, '+')) {
        return std::nullopt;
    }
    return reply.size() > 3 ? std::string(reply.substr(3)) : std::string();
}

}  // namespace ostrel::webservice
