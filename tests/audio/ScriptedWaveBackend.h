// A wave mapper for tests: it records every call of the device under test and completes
// buffers only when the test says so, posting the same completion messages as a real backend.
// Used from one test thread at a time.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveBackend.h"

namespace ostrel::audio::testing {

struct ScriptedCall {
    std::string what;  // "prepare", "unprepare", "queue", "start", "reset", "close"
    const WaveHeader* header = nullptr;
};

// What one opened stream saw; it outlives the stream, which the device owns.
struct ScriptedStreamLog {
    WaveDirection direction = WaveDirection::Capture;
    sync::ThreadId callbackThread = 0;
    AudioFormat format;
    std::vector<ScriptedCall> calls;
    std::deque<WaveHeader*> queued;  // with the backend now, oldest first
    bool closed = false;
    bool destroyed = false;

    int count(const std::string& what) const;
    int count(const std::string& what, const WaveHeader* header) const;
};

class ScriptedWaveBackend final : public WaveBackend {
public:
    MMRESULT queryResult = MMSYSERR_NOERROR;
    MMRESULT openResult = MMSYSERR_NOERROR;
    std::deque<MMRESULT> openScript;  // results of the next opens, before openResult applies
    int queryCalls = 0;
    int openCalls = 0;
    std::shared_ptr<ScriptedStreamLog> last;  // the stream of the latest successful open

    MMRESULT queryFormat(WaveDirection direction, const AudioFormat& format) override;
    MMRESULT open(WaveDirection direction, const AudioFormat& format, sync::ThreadId callbackThread,
                  std::unique_ptr<WaveStream>& stream) override;

    // Finishes the oldest queued buffer of the last stream and posts its completion.
    bool completeNext();
};

}  // namespace ostrel::audio::testing
