// Call reports: telling the web service who talks with whom and for how long. send() runs on
// the timer thread with a list the GUI thread built; newCall() runs on the GUI thread when a
// call becomes active. The session number the service hands out is shared between the two.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "app/callreport/CallParties.h"

namespace ostrel::webservice {
class HttpRequester;
}

namespace ostrel::callreport {

// What the reporter needs from the main window. Every call comes on the timer thread.
class CallReportHost {
public:
    virtual ~CallReportHost() = default;
    virtual bool isLoggedIn() = 0;
    // The logged-in user's name.
    virtual std::string userName() = 0;
    // Under the engine guard, released before returning: the conversation's conference GUID,
    // or nothing when there is no engine or no active call.
    virtual std::optional<std::string> activeCallConference() = 0;
    // Whether the conversation is being recorded.
    virtual bool isRecording() = 0;
    // The server and request target of the directory's "iamtalking_file" page; false when
    // the directory is not known.
    virtual bool callReportTarget(std::string& server, std::string& target) = 0;
};

class CallReporter {
public:
    enum class Result {
        Dropped,  // logged off, no active call, the list of an earlier call, or no directory
        NoReply,  // the request failed; nothing else happens
        Sent,     // the service answered (whatever it said)
    };

    CallReporter(CallReportHost& host, webservice::HttpRequester& requester);

    // A call became active: its reports start again from session number 0. Returns the
    // call's tag for the lists built during it.
    uint32_t newCall();
    uint32_t currentCall() const { return static_cast<uint32_t>(state_.load() >> 32); }
    uint32_t sessionId() const { return static_cast<uint32_t>(state_.load()); }

    // The body of a report of `list` at `nowTick`, as it would be sent now.
    std::string body(const CallReportList& list, const std::string& user,
                     const std::string& conferenceGuid, bool recorded, uint32_t nowTick) const;

    // Sends one report (timer thread).
    Result send(const CallReportList& list, uint32_t nowTick);

private:
    CallReportHost& host_;
    webservice::HttpRequester& requester_;
    // The current call's tag (high half) and its session number (low half), in one word so
    // that the timer thread can take a number only while its call is still the current one
    // and has none yet, even when a new call starts during the request.
    std::atomic<uint64_t> state_{0};
};

}  // namespace ostrel::callreport
