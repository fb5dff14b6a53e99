// The client's alert sounds ("phonering.wav", "hangup.wav", the dial-pad clicks) and beeps:
// one process-wide player with one sound at a time, asynchronous or not, looping or not.
// Any thread may call it; the sound itself is moved by the player's own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/SampleEndpoint.h"

namespace ostrel::audio {

class AlertPlayer {
public:
    // Opens an output for a sound of the given format; nothing when it cannot.
    using OutputFactory = std::function<std::unique_ptr<SampleEndpoint>(const AudioFormat&)>;

    // Flags of `play`, with the multimedia system's values.
    static constexpr unsigned kSync = 0x0000;
    static constexpr unsigned kAsync = 0x0001;
    static constexpr unsigned kLoop = 0x0008;    // until `stop`; needs kAsync
    static constexpr unsigned kNoStop = 0x0010;  // give way to a sound that is playing

    // Sound files longer than this are cut: alerts last seconds, and the whole sound is read
    // into memory so that a loop never waits for the disk.
    static constexpr unsigned kLongestSoundSeconds = 60;

    // Beeps are made at this rate; 37 to 32767 Hz are accepted.
    static constexpr uint32_t kToneRate = 48000;

    AlertPlayer(OutputFactory outputs, std::string folder);
    ~AlertPlayer();

    AlertPlayer(const AlertPlayer&) = delete;
    AlertPlayer& operator=(const AlertPlayer&) = delete;

    // The process's player: sounds from the program's folder, output chosen by the audio
    // environment variables (the sound card, or discarded when files or none are used).
    static AlertPlayer& instance();

    // Plays a file (a plain name is looked up in the folder). Stops the current sound first,
    // unless kNoStop is given, in which case a playing sound makes the call return false.
    // Without kAsync it returns when the sound is over (or stopped from another thread).
    // False when the file cannot be read or no output opens.
    bool play(const std::string& fileName, unsigned flags);

    // Stops the current sound, if any, and returns once it is silent.
    void stop();

    // A tone of that frequency and length, on the caller's thread, beside any sound.
    bool beep(unsigned frequency, unsigned durationMs);

    bool isPlaying() const;

private:
    struct Sound {
        AudioFormat format;
        std::vector<int16_t> samples;
    };

    bool load(const std::string& fileName, Sound& sound) const;
    void stopLocked(std::unique_lock<std::mutex>& lock);
    void run();

    OutputFactory outputs_;
    std::string folder_;

    std::mutex callMutex_;  // one play or stop at a time, so kNoStop's test and the start agree

    // Guards everything below, shared with the player thread.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<SampleEndpoint> output_;
    std::shared_ptr<const Sound> sound_;
    bool loop_ = false;
    bool pending_ = false;  // a sound is handed over and not yet taken
    bool playing_ = false;
    bool abort_ = false;
    bool quit_ = false;
    uint64_t finished_ = 0;  // count of sounds that have ended
    uint64_t started_ = 0;   // count of sounds handed over
    std::thread thread_;
};

}  // namespace ostrel::audio
