// A recording played from start to end without windows (the command-line client's --play):
// the caller's thread waits while the player's threads play the file through a backend.
#pragma once

#include <string>
#include <string_view>

#include "audio/WaveBackend.h"

namespace ostrel::recording {

struct PlayOutcome {
    enum Result { Played, OpenFailed, Corrupted, Stalled };
    Result result = OpenFailed;
    unsigned blocksHeard = 0;
};

// Returns once the last block was heard, or when the device went `stallMs` without finishing
// a block (a device that never plays).
PlayOutcome playRecording(const std::string& path, audio::WaveBackend& backend,
                          unsigned stallMs = 3000);

// The user's text for an outcome: "Failed to open the file", "The file is corrupted." ...
std::string_view playOutcomeText(PlayOutcome::Result result);

}  // namespace ostrel::recording
