// The engine sink of ostrel-cli: prints every notification as one line on standard output,
// flushed at once, answers incoming calls by the chosen policy, and tells the main thread
// when the call became active. Called from every engine thread.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "engine/EngineSink.h"
#include "recording/ConversationRecorder.h"
#include "tools/CliOptions.h"

namespace ostrel::tools {

class CliSink final : public engine::EngineSink {
public:
    CliSink(AnswerPolicy policy, std::FILE* out) : policy_(policy), out_(out) {}

    void log(std::string_view text) override;
    void notify(engine::Notification notification) override;
    bool addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) override;

    // Where sent and played blocks go while the engine records; set before the engine starts.
    void setRecorder(recording::ConversationRecorder* recorder) { recorder_ = recorder; }

    // Waits up to `ms` for the call to become active; true once it is.
    bool waitCallActive(int ms);
    // Rejects the questions that --answer ignore left open, and every later one, so that
    // Stop can end.
    void rejectOpenQuestions();

private:
    bool closingNow();

    const AnswerPolicy policy_;
    std::FILE* out_;
    recording::ConversationRecorder* recorder_ = nullptr;
    std::mutex mutex_;  // guards the output, callActive_ and open_
    std::condition_variable changed_;
    bool callActive_ = false;
    bool closing_ = false;
    std::vector<engine::IncomingCallRequest*> open_;
};

}  // namespace ostrel::tools
