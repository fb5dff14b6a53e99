// Web service client: verdicts of the one-line status replies (logoff, keep-alive, call
// report, calling-card upload, problem report) and the first look at an online-users reply.
// Pure functions, called on the thread that posted the request, after a successful Post.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::webservice {

// Logoff: "+" as the first character means logged off at the service.
bool LogoffAccepted(std::string_view reply);

enum class KeepAliveVerdict {
    Accepted,            // anything else: the online-users request follows
    LoggedOffByService,  // "#": log off and show the whole reply to the user
    LogOffSilently,      // "-": log off without a message
};
KeepAliveVerdict JudgeKeepAliveReply(std::string_view reply);

enum class OnlineUsersReplyKind {
    Empty,   // nothing to use this cycle
    Xml,     // starts with "<?xml" once trimmed: parse it
    NotXml,  // anything else counts as a busy-server reply
};
OnlineUsersReplyKind ClassifyOnlineUsersReply(std::string_view reply);

// Calling-card upload: the reply trimmed of blanks starts with "+".
bool CallingCardsStored(std::string_view reply);

// Call report: the service answers "+", three characters and the session number. The number
// is taken only while `currentSessionId` is still 0 and the reply has at least five
// characters; otherwise the current number is returned unchanged.
uint32_t CallReportSessionId(std::string_view reply, uint32_t currentSessionId);

// Problem report: accepted when the reply starts with "+"; the message for the user is the
// text from the fourth character on (empty for three characters or fewer). Nothing when the
// report was refused.
std::optional<std::string> ProblemReportMessage(std::string_view reply);

}  // namespace ostrel::webservice
