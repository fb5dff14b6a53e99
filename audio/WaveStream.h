// One open wave device of a backend: the handle a wave device holds between open and close.
// All calls come from the device's owner (or, for queueing playback, its producer thread);
// the backend's own thread completes buffers and posts MM_WIM_DATA / MM_WOM_DONE.
#pragma once

#include "audio/MmResult.h"
#include "audio/WaveHeader.h"

namespace ostrel::audio {

class WaveStream {
public:
    // Destroying a stream that is still open resets and closes it first, so no buffer is
    // touched once the stream is gone.
    virtual ~WaveStream() = default;

    // Sets WHDR_PREPARED; needed before `queue`.
    virtual MMRESULT prepare(WaveHeader& header) = 0;
    // Clears WHDR_PREPARED; WAVERR_STILLPLAYING while the buffer is queued.
    virtual MMRESULT unprepare(WaveHeader& header) = 0;
    // Capture: adds an empty buffer to fill. Playback: queues a full buffer to play.
    virtual MMRESULT queue(WaveHeader& header) = 0;
    // Capture only: starts filling the queued buffers. Playback plays as soon as it has data.
    virtual MMRESULT start() = 0;
    // Stops, and returns every queued buffer as done (each with its own completion message)
    // before it returns.
    virtual MMRESULT reset() = 0;
    // WAVERR_STILLPLAYING while buffers are queued; afterwards every call gives
    // MMSYSERR_INVALHANDLE.
    virtual MMRESULT close() = 0;
};

}  // namespace ostrel::audio
