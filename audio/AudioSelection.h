// Where the client's audio goes, from the environment: the sound card (default), files
// (OSTREL_CAPTURE_FILE / OSTREL_PLAYBACK_FILE) or nothing (OSTREL_AUDIO=none). Read once for
// the process's backend and alert output; any thread may ask for them.
#pragma once

#include <memory>
#include <string>

#include "audio/AlertPlayer.h"
#include "audio/WaveBackend.h"

namespace ostrel::audio {

enum class AudioRoute { SoundCard, Files, None };

struct AudioSelection {
    AudioRoute route = AudioRoute::SoundCard;
    std::string captureFile;   // empty: silence (route Files only)
    std::string playbackFile;  // empty: played sound is dropped (route Files only)
};

// Reads the variables now. "none" wins over the files; an unknown OSTREL_AUDIO value is
// reported on standard error and ignored.
AudioSelection readAudioSelection();

std::unique_ptr<WaveBackend> makeWaveBackend(const AudioSelection& selection);

// Alerts play on the sound card only; with files or none they are dropped at the real pace,
// so that waiting and no-stop behave the same.
AlertPlayer::OutputFactory makeAlertOutputFactory(const AudioSelection& selection);

// The backend of the process, chosen from the environment at its first use. The default of
// both wave devices.
WaveBackend& processWaveBackend();

}  // namespace ostrel::audio
