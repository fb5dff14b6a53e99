#include "audio/PortAudioLibrary.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace ostrel::audio {

namespace {

void discardAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// Starting PortAudio probes every ALSA card and the JACK server and prints a page of
// complaints on machines that lack them. Unless a developer asked for traces, that text is
// kept off the terminal for the duration of the start.
PaError quietInitialize() {
    if (platform::traceEnabled()) {
        return Pa_Initialize();
    }
    snd_lib_error_set_handler(discardAlsaMessage);
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) {
        dup2(null, STDERR_FILENO);
    }
    const PaError result = Pa_Initialize();
    if (saved >= 0 && null >= 0) {
        fflush(stderr);
        dup2(saved, STDERR_FILENO);
    }
    if (null >= 0) {
        ::close(null);
    }
    if (saved >= 0) {
        ::close(saved);
    }
    return result;
}

}  // namespace

std::mutex& PortAudioLibrary::apiMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<PortAudioLibrary> PortAudioLibrary::acquire() {
    std::lock_guard lock(apiMutex());
    static std::weak_ptr<PortAudioLibrary> current;
    if (auto running = current.lock()) {
        return running;
    }
    const PaError result = quietInitialize();
    if (result != paNoError) {
        platform::trace(std::string("PortAudio did not start: ") + Pa_GetErrorText(result));
        return nullptr;
    }
    std::shared_ptr<PortAudioLibrary> library(new PortAudioLibrary());
    current = library;
    return library;
}

PortAudioLibrary::~PortAudioLibrary() {
    std::lock_guard lock(apiMutex());
    Pa_Terminate();
}

}  // namespace ostrel::audio
