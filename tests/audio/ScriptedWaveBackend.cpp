#include "tests/audio/ScriptedWaveBackend.h"

#include <algorithm>

#include "sync/ThreadMessages.h"

namespace ostrel::audio::testing {

namespace {

void finish(ScriptedStreamLog& log, WaveHeader* header, uint32_t bytes) {
    if (log.direction == WaveDirection::Capture) {
        header->bytesRecorded = bytes;
    }
    header->flags.store((header->flags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
    const uint32_t message =
        log.direction == WaveDirection::Capture ? sync::MM_WIM_DATA : sync::MM_WOM_DONE;
    sync::postThreadMessage(log.callbackThread, message, 0, reinterpret_cast<intptr_t>(header));
}

class ScriptedWaveStream final : public WaveStream {
public:
    explicit ScriptedWaveStream(std::shared_ptr<ScriptedStreamLog> log) : log_(std::move(log)) {}
    ~ScriptedWaveStream() override { log_->destroyed = true; }

    MMRESULT prepare(WaveHeader& h) override {
        log_->calls.push_back({"prepare", &h});
        h.flags.fetch_or(WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }
    MMRESULT unprepare(WaveHeader& h) override {
        log_->calls.push_back({"unprepare", &h});
        if (h.has(WHDR_INQUEUE)) {
            return WAVERR_STILLPLAYING;
        }
        h.flags.fetch_and(~WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }
    MMRESULT queue(WaveHeader& h) override {
        log_->calls.push_back({"queue", &h});
        if (!h.has(WHDR_PREPARED)) {
            return WAVERR_UNPREPARED;
        }
        h.flags.store((h.flags.load() & ~WHDR_DONE) | WHDR_INQUEUE);
        log_->queued.push_back(&h);
        return MMSYSERR_NOERROR;
    }
    MMRESULT start() override {
        log_->calls.push_back({"start", nullptr});
        return MMSYSERR_NOERROR;
    }
    MMRESULT reset() override {
        log_->calls.push_back({"reset", nullptr});
        while (!log_->queued.empty()) {
            WaveHeader* h = log_->queued.front();
            log_->queued.pop_front();
            finish(*log_, h, 0);
        }
        return MMSYSERR_NOERROR;
    }
    MMRESULT close() override {
        log_->calls.push_back({"close", nullptr});
        if (!log_->queued.empty()) {
            return WAVERR_STILLPLAYING;
        }
        log_->closed = true;
        return MMSYSERR_NOERROR;
    }

private:
    std::shared_ptr<ScriptedStreamLog> log_;
};

}  // namespace

int ScriptedStreamLog::count(const std::string& what) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const ScriptedCall& c) { return c.what == what; }));
}

int ScriptedStreamLog::count(const std::string& what, const WaveHeader* header) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const ScriptedCall& c) {
        return c.what == what && c.header == header;
    }));
}

MMRESULT ScriptedWaveBackend::queryFormat(WaveDirection, const AudioFormat&) {
    ++queryCalls;
    return queryResult;
}

MMRESULT ScriptedWaveBackend::open(WaveDirection direction, const AudioFormat& format,
                                   sync::ThreadId callbackThread,
                                   std::unique_ptr<WaveStream>& stream) {
    ++openCalls;
    MMRESULT result = openResult;
    if (!openScript.empty()) {
        result = openScript.front();
        openScript.pop_front();
    }
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    last = std::make_shared<ScriptedStreamLog>();
    last->direction = direction;
    last->format = format;
    last->callbackThread = callbackThread;
    stream = std::make_unique<ScriptedWaveStream>(last);
    return MMSYSERR_NOERROR;
}

bool ScriptedWaveBackend::completeNext() {
    if (!last || last->queued.empty()) {
        return false;
    }
    WaveHeader* h = last->queued.front();
    last->queued.pop_front();
    finish(*last, h, h->bufferLength);
    return true;
}

}  // namespace ostrel::audio::testing
