#include "service/ReportScripts.h"

#include "service/ServiceLimits.h"
#include "service/UdpProbeSender.h"
#include "service/XmlWriter.h"

namespace ostrel::service {

namespace {

constexpr int64_t kMaxMinutes = 10'000'000;
constexpr int64_t kMaxDelay = 1'000'000'000;
constexpr int64_t kMaxCallId = int64_t(1) << 53;

ScriptReply probeReply(int64_t errorCode, std::string_view description, std::string_view address,
                       int64_t ipType, int64_t port) {
    XmlWriter xml("fwtest");
    xml.element("error_code", errorCode);
    xml.element("err_description", description);
    xml.element("ipaddress", address);
    xml.element("iptype", ipType);
    xml.element("port", port);
    return {xml.finish(), true};
}

}  // namespace

ScriptReply ReportScripts::probeFailure(std::string_view reason) {
    return probeReply(1, reason, "", 0, 0);
}

ReportScripts::ReportScripts(AccountStore& accounts, PresenceStore& presence, ReportStore& reports,
                             ServiceClock clock, int probeCount)
    : accounts_(accounts),
      presence_(presence),
      reports_(reports),
      clock_(std::move(clock)),
      probeCount_(probeCount) {}

ScriptReply ReportScripts::callReport(const FormFields& form) {
    const auto user = form.text("User", kMaxUserName);
    if (!user || user->empty()) {
        return {"-" + invalidField("User")};
    }
    // The report carries no password; taking it only from a user who is logged in at the
    // moment keeps strangers from filing calls in someone's name while they are away.
    const auto account = accounts_.findUser(*user);
    const int64_t now = clock_();
    if (!account || !presence_.online(account->id, now)) {
        return {"-Not logged in."};
    }
    CallReport report;
    // The parties come as RemUser, Minutes, AvgDelay in turn.
    int filled = 3;
    for (const auto& [name, value] : form.fields()) {
        const bool isUser = FormFields::sameName(name, "RemUser");
        const bool isMinutes = FormFields::sameName(name, "Minutes");
        const bool isDelay = FormFields::sameName(name, "AvgDelay");
        if (!isUser && !isMinutes && !isDelay) {
            continue;
        }
        const int expected = isUser ? 0 : isMinutes ? 1 : 2;
        if (expected != filled % 3) {
            return {"-" + invalidField(name)};
        }
        if (isUser) {
            if (value.size() > kMaxBuddyName || !printableText(value) ||
                report.parties.size() == kMaxCallParties) {
                return {"-" + invalidField(name)};
            }
            report.parties.push_back(CallParty{value, 0, 0});
            filled = 1;
            continue;
        }
        const auto number = FormFields::parseNumber(value, 0, isMinutes ? kMaxMinutes : kMaxDelay);
        if (!number) {
            return {"-" + invalidField(name)};
        }
        (isMinutes ? report.parties.back().minutes : report.parties.back().averageDelay) = *number;
        filled = isMinutes ? 2 : 3;
    }
    if (filled != 3) {
        return {"-" + invalidField("AvgDelay")};
    }
    const auto sessionId = form.number("SessionID", 0, kMaxCallId);
    const auto recorded = form.number("IsRecorded", 0, 1);
    const auto guid = form.text("VoiceConferenceGUID", kMaxInstanceGuid);
    if (!sessionId) {
        return {"-" + invalidField("SessionID")};
    }
    if (!recorded) {
        return {"-" + invalidField("IsRecorded")};
    }
    if (!guid || !printableText(*guid)) {
        return {"-" + invalidField("VoiceConferenceGUID")};
    }
    report.recorded = *recorded;
    report.conferenceGuid = *guid;

    int64_t id = *sessionId;
    if (id == 0) {
        id = reports_.createCall(account->id, report, now);
        if (id == 0) {
            return {"-The call report cannot be stored now."};
        }
    } else if (!reports_.updateCall(account->id, id, report, now)) {
        return {"-Unknown session."};
    }
    // "+", three characters, then the number: the client reads it from the fifth character.
    return {"+ID:" + std::to_string(id)};
}

ScriptReply ReportScripts::problemReport(const FormFields& form, const std::string& remoteAddress) {
    ProblemReport report;
    // The crash handler may not know the instance yet, so an empty GUID is allowed.
    const auto guid = form.text("InstanceGUID", kMaxInstanceGuid);
    const auto version = form.text("Version", kMaxVersionText);
    const auto build = form.text("Build", kMaxVersionText);
    const std::string* log = form.find("LogText");
    if (!guid || !printableText(*guid)) {
        return {"-" + invalidField("InstanceGUID")};
    }
    if (!version || !printableText(*version)) {
        return {"-" + invalidField("Version")};
    }
    if (!build || !printableText(*build)) {
        return {"-" + invalidField("Build")};
    }
    if (log == nullptr) {
        return {"-" + invalidField("LogText")};
    }
    report.receivedMs = clock_();
    report.sourceAddress = remoteAddress;
    report.instanceGuid = *guid;
    report.version = *version;
    report.build = *build;
    report.logText = *log;
    if (reports_.addProblemReport(report) == 0) {
        return {"-The report cannot be stored now."};
    }
    return {std::string(kProblemThanks)};
}

ScriptReply ReportScripts::reachabilityTest(const FormFields& form,
                                            const std::string& remoteAddress) {
    const auto port = form.number("Port", 1, 65535);
    const auto ipType = form.number("IPType", 0, 3);
    const auto address = form.text("IPAddr", kMaxAddress);
    const std::string* message = form.find("Message");
    const int64_t portValue = port.value_or(0);
    const int64_t typeValue = ipType.value_or(0);
    if (!port) {
        return probeReply(1, invalidField("Port"), "", typeValue, 0);
    }
    if (!ipType) {
        return probeReply(1, invalidField("IPType"), "", 0, portValue);
    }
    if (*ipType == 3) {
        return probeReply(1,
                          "Computers that take calls only from their own network cannot be "
                          "tested from the internet.",
                          "", 3, portValue);
    }
    if (!address || !printableText(*address)) {
        return probeReply(1, invalidField("IPAddr"), "", typeValue, portValue);
    }
    if (message != nullptr && message->size() > kMaxProbeMessage) {
        return probeReply(1, invalidField("Message"), "", typeValue, portValue);
    }
    const std::string target = *ipType == 1 ? remoteAddress : *address;
    if (target.empty() || target == "LAN") {
        return probeReply(1, "Your computer has no public address to send test packets to.", target,
                          typeValue, portValue);
    }
    const auto resolved = UdpProbeSender::resolve(target);
    if (!resolved) {
        return probeReply(1, "The address " + target + " cannot be resolved.", target, typeValue,
                          portValue);
    }
    if (!probeLimiter_.allow(remoteAddress, clock_())) {
        return probeReply(2,
                          "Too many tests from your address. Please wait a minute and try "
                          "again.",
                          target, typeValue, portValue);
    }
    const std::string dotted = UdpProbeSender::dotted(*resolved);
    const std::string payload =
        message != nullptr && !message->empty() ? *message : std::string("Congratulations");
    std::string error;
    if (!UdpProbeSender::send(*resolved, static_cast<uint16_t>(*port), payload, probeCount_,
                              kProbeGapMs, error)) {
        return probeReply(3, error, dotted, typeValue, portValue);
    }
    return probeReply(0, "", dotted, typeValue, portValue);
}

}  // namespace ostrel::service
