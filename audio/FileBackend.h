// The wave mapper without a sound card: capture devices read OSTREL_CAPTURE_FILE, playback
// devices append to OSTREL_PLAYBACK_FILE, both at the real pace (an empty path gives silence
// or drops the sound). Any thread may open; problems are reported once per failed open.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/WavFileWriter.h"
#include "audio/WaveBackend.h"

namespace ostrel::audio {

class FileBackend final : public WaveBackend {
public:
    // Receives the messages about unusable files; by default they go to standard error,
    // since the user named the file and must learn why it is not used.
    using Reporter = std::function<void(const std::string&)>;

    FileBackend(std::string capturePath, std::string playbackPath, Reporter report = {});

    MMRESULT queryFormat(WaveDirection direction, const AudioFormat& format) override;
    MMRESULT open(WaveDirection direction, const AudioFormat& format, sync::ThreadId callbackThread,
                  std::unique_ptr<WaveStream>& stream) override;

private:
    std::shared_ptr<WavFileWriter> playbackWriter(std::string& problem);

    std::string capturePath_;
    std::string playbackPath_;
    Reporter report_;
    // Guards writer_: created by the first playback open and kept, so that every playback
    // device of the process (and every call of the engine) appends to one file in order.
    std::mutex writerMutex_;
    std::shared_ptr<WavFileWriter> writer_;
};

}  // namespace ostrel::audio
