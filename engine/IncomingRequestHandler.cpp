#include "engine/IncomingRequestHandler.h"

#include <chrono>
#include <thread>

#include "engine/FormatText.h"
#include "engine/IncomingCallRequest.h"
#include "engine/MasterServer.h"
#include "engine/NetCore.h"
#include "engine/VoiceSession.h"
#include "platform/Platform.h"
#include "sync/CSWMRG.h"

namespace ostrel::engine {

namespace {

constexpr int kAnswerRepeats = 5;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

IncomingRequestHandler::IncomingRequestHandler(NetCore& engine, MasterServer& server,
                                               VoiceSession& session, std::vector<uint8_t> datagram)
    : engine_(engine),
      server_(server),
      session_(session),
      datagram_(std::move(datagram)),
      caller_(session.peerAddress().text()) {}

bool IncomingRequestHandler::sendOrGiveUp(const SessionMessage& message) {
    int error = 0;
    if (session_.send(message, &error)) {
        return true;
    }
    engine_.log(
        formatText("Send Failed on socket %x , Error = %d", session_.socket().handle(), error));
    engine_.log("Send falied");
    session_.closeSocket();
    return false;
}

std::string IncomingRequestHandler::conferenceGuidFor(const ConnectFields& request) {
    if (engine_.isCallActive()) {
        return engine_.conferenceGuid();
    }
    std::string guid =
        request.conferenceGuid.empty() ? platform::newGuidText() : request.conferenceGuid;
    engine_.adoptConferenceGuid(guid);
    return guid;
}

IncomingRequestHandler::Result IncomingRequestHandler::run() {
    if (engine_.stopRequested()) {
        session_.closeSocket();
        engine_.log("Stop Issued detected processing incoming connection request.");
        return kFailed;
    }
    const auto view = MessageView::read(datagram_.data(), datagram_.size());
    if (!view) {  // the listener checked it already; nothing else can be read from it
        session_.closeSocket();
        return kFailed;
    }
    const ConnectFields request = readConnectRequest(*view);
    // Below version 5 a request carries only the name; readConnectRequest records version 1.
    if (view->u32(connect_field::kVersion) >= 5) {
        if (!request.confirmUser.empty() &&
            !equalIgnoringCase(request.confirmUser, engine_.userName())) {
            session_.send(buildEmpty(MSG_NOT_LOGGED_IN_HERE));
            session_.closeSocket();
            engine_.log(
                formatText("Dropping connection request from %s since the confirm user failed",
                           caller_.c_str()));
            return kFailed;
        }
        // A request without a GUID may join the running conference; one naming another
        // conference may not.
        if (engine_.isCallActive() && !request.conferenceGuid.empty() &&
            !equalIgnoringCase(request.conferenceGuid, engine_.conferenceGuid())) {
            session_.send(buildEmpty(MSG_OTHER_CONFERENCE));
            session_.closeSocket();
            engine_.log(
                formatText("Dropping connection request from %s since the session is inaccessable",
                           caller_.c_str()));
            return kFailed;
        }
    }
    session_.setPeer(request.userName, request.identity, request.version);

    if (!sendOrGiveUp(buildEmpty(MSG_RINGING))) {
        return kFailed;
    }

    // One-shot signal: taken once here, the second take returns when the window answers.
    sync::CSem answered;
    answered.WaitOnSemaphore(sync::kInfinite);
    IncomingCallRequest question;
    question.peerUserName = request.userName;
    question.semaphore = &answered;
    engine_.log(formatText("Notifying the user about request from %s", caller_.c_str()));
    engine_.notify(engine_.isCallActive() ? NotificationCode::IncomingCallInCall
                                          : NotificationCode::IncomingCall,
                   &question);
    answered.WaitOnSemaphore(sync::kInfinite);

    // An accept that comes while the engine stops would leave the caller with a peer that
    // is gone; it is refused instead.
    const bool accept =
        question.answer.load() == IncomingCallRequest::kAccept && engine_.isRunning();
    SessionMessage answer = buildEmpty(MSG_RING_STOPPED);
    if (accept) {
        ConnectFields fields;
        fields.userName = engine_.userName();
        fields.version = engine_.protocolVersion();
        fields.identity = engine_.identity();
        fields.conferenceGuid = conferenceGuidFor(request);
        answer = buildConnectAccept(fields);
    }
    for (int i = 0; i < kAnswerRepeats; ++i) {
        if (!sendOrGiveUp(answer)) {
            return kFailed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(engine_.timings().answerRepeatGapMs));
    }
    if (!accept) {
        session_.closeSocket();
        return kRejected;
    }
    session_.markConnected();
    handOver();
    return kAccepted;
}

void IncomingRequestHandler::handOver() {
    // The listener's semaphore comes before the session-list guard, as in the listener's own
    // lookups; the other order could deadlock against them.
    server_.pendingLock().WaitOnSemaphore(sync::kInfinite);
    {
        sync::WriteLock lock(engine_.sessionGuard());
        std::unique_ptr<VoiceSession> session = server_.takePendingLocked(&session_);
        if (session && engine_.isRunning()) {
            const SessionId id = session->id();
            const std::string description = session->peerDescription();
            const uint32_t version = session->peerVersion();
            engine_.appendSessionLocked(std::move(session));
            if (!engine_.threadsStarted()) {
                engine_.startVoiceThreads();
            }
            engine_.notify(NotificationCode::PeerJoined,
                           PeerJoinedRecord{description, id, version});
        } else if (session) {
            // Stop hung up every session while this one was being answered.
            session->disconnect(true);
        }
    }
    server_.pendingLock().SignalSemaphore();
}

}  // namespace ostrel::engine
