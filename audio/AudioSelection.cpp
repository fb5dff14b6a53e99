#include "audio/AudioSelection.h"

#include <cstdio>
#include <cstdlib>

#include "audio/DiscardEndpoint.h"
#include "audio/FileBackend.h"
#include "audio/NoAudioBackend.h"
#include "audio/PortAudioBackend.h"
#include "audio/PortAudioEndpoint.h"
#include "audio/PortAudioLibrary.h"

namespace ostrel::audio {

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

AudioSelection readAudioSelection() {
    AudioSelection selection;
    const std::string audio = variable("OSTREL_AUDIO");
    if (audio == "none") {
        selection.route = AudioRoute::None;
        return selection;
    }
    if (!audio.empty()) {
        std::fprintf(stderr,
                     "ostrel: OSTREL_AUDIO=%s is not known (only \"none\" is); using the "
                     "usual audio\n",
                     audio.c_str());
    }
    selection.captureFile = variable("OSTREL_CAPTURE_FILE");
    selection.playbackFile = variable("OSTREL_PLAYBACK_FILE");
    if (!selection.captureFile.empty() || !selection.playbackFile.empty()) {
        selection.route = AudioRoute::Files;
    }
    return selection;
}

std::unique_ptr<WaveBackend> makeWaveBackend(const AudioSelection& selection) {
    switch (selection.route) {
        case AudioRoute::None:
            return std::make_unique<NoAudioBackend>();
        case AudioRoute::Files:
            return std::make_unique<FileBackend>(selection.captureFile, selection.playbackFile);
        case AudioRoute::SoundCard:
            break;
    }
    return std::make_unique<PortAudioBackend>();
}

AlertPlayer::OutputFactory makeAlertOutputFactory(const AudioSelection& selection) {
    if (selection.route != AudioRoute::SoundCard) {
        return [](const AudioFormat& format) -> std::unique_ptr<SampleEndpoint> {
            return std::make_unique<DiscardEndpoint>(
                WaveDirection::Playback, format.samplesPerSecond, format.blockAlignment);
        };
    }
    // The library stays up between alerts: starting PortAudio probes every card, which is
    // too slow to repeat for each click.
    struct Holder {
        std::mutex mutex;  // guards library
        std::shared_ptr<PortAudioLibrary> library;
    };
    auto holder = std::make_shared<Holder>();
    return [holder](const AudioFormat& format) -> std::unique_ptr<SampleEndpoint> {
        std::shared_ptr<PortAudioLibrary> library;
        {
            std::lock_guard lock(holder->mutex);
            if (!holder->library) {
                holder->library = PortAudioLibrary::acquire();
            }
            library = holder->library;
        }
        if (!library) {
            return nullptr;
        }
        std::unique_ptr<SampleEndpoint> endpoint;
        PortAudioEndpoint::open(library, WaveDirection::Playback, format, endpoint);
        return endpoint;
    };
}

WaveBackend& processWaveBackend() {
    static const std::unique_ptr<WaveBackend> backend = makeWaveBackend(readAudioSelection());
    return *backend;
}

}  // namespace ostrel::audio
