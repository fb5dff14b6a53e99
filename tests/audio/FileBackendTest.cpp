#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/AudioSelection.h"
#include "audio/FileBackend.h"
#include "audio/NoAudioBackend.h"
#include "audio/WaveInDevice.h"
#include "audio/WaveOutDevice.h"
#include "platform/Platform.h"
#include "sync/ThreadMessages.h"
#include "tests/audio/WavFiles.h"

using namespace ostrel;
using namespace ostrel::audio;
using ostrel::audio::testing::pattern;
using ostrel::audio::testing::readWav;
using ostrel::audio::testing::ScratchFolder;
using ostrel::audio::testing::writeWav;
using ostrel::platform::tickCount;

namespace {

constexpr size_t kBlockSamples = 1600;
constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

void drainQueue() {
    sync::ensureMessageQueue();
    sync::ThreadMessage m;
    while (sync::peekMessage(m)) {
    }
}

// Runs the capture owner's loop on this thread until `count` blocks have arrived; each block's
// arrival is noted in milliseconds after `start`.
std::vector<std::vector<int16_t>> captureBlocks(WaveInDevice& device, int count, uint32_t start,
                                                std::vector<uint32_t>& arrivals) {
    std::vector<std::vector<int16_t>> blocks;
    sync::ThreadMessage m;
    while (static_cast<int>(blocks.size()) < count && sync::waitMessage(m, 2000)) {
        if (m.message != sync::MM_WIM_DATA || !device.isCurrentDone()) {
            continue;
        }
        arrivals.push_back(tickCount() - start);
        EXPECT_EQ(reinterpret_cast<WaveHeader*>(m.lParam)->bytesRecorded, 3200u);
        std::vector<int16_t> block(kBlockSamples);
        std::memcpy(block.data(), device.currentData(), 3200);
        device.requeue();
        blocks.push_back(std::move(block));
    }
    return blocks;
}

}  // namespace

TEST(FileBackendCapture, GivesTheFileInBlocksAtTheRealPaceThenSilence) {
    drainQueue();
    ScratchFolder folder;
    const std::string path = folder.file("in.wav");
    const std::vector<int16_t> samples = pattern(4000);  // two and a half blocks
    ASSERT_TRUE(writeWav(path, samples, 8000, 1, kWav16));
    FileBackend backend(path, "");
    WaveInDevice device(1600, 8000, 1, 16, backend);

    const uint32_t start = tickCount();
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    std::vector<uint32_t> arrivals;
    auto blocks = captureBlocks(device, 5, start, arrivals);
    ASSERT_EQ(blocks.size(), 5u);

    std::vector<int16_t> all;
    for (const auto& b : blocks) {
        all.insert(all.end(), b.begin(), b.end());
    }
    std::vector<int16_t> expected = samples;
    expected.resize(5 * kBlockSamples, 0);
    EXPECT_EQ(all, expected);

    // Block k is complete 200 ms * (k + 1) after the start, not sooner.
    for (size_t k = 0; k < arrivals.size(); ++k) {
        EXPECT_GE(arrivals[k], 200u * (k + 1) - 10) << k;
        EXPECT_LT(arrivals[k], 200u * (k + 1) + 250) << k;
    }
    device.stop();
    sync::ThreadMessage m;
    while (sync::peekMessage(m)) {
        device.requeue();
    }
    EXPECT_TRUE(device.close());
}

struct BadCapture {
    const char* name;
    int sampleRate;
    int channels;
    int format;
    const char* described;  // what the message must say the file has
};

class FileBackendRefusal : public ::testing::TestWithParam<BadCapture> {};

TEST_P(FileBackendRefusal, CaptureFileOfAnotherFormatIsRefusedAtOnceWithAMessage) {
    drainQueue();
    const BadCapture& bad = GetParam();
    ScratchFolder folder;
    const std::string path = folder.file(std::string(bad.name) + ".snd");
    ASSERT_TRUE(writeWav(path, pattern(8000), bad.sampleRate, bad.channels, bad.format));
    std::vector<std::string> messages;
    FileBackend backend(path, "", [&](const std::string& text) { messages.push_back(text); });
    WaveInDevice device(1600, 8000, 1, 16, backend);

    const uint32_t start = tickCount();
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 200u);  // no retries for a file that will not change
    ASSERT_EQ(messages.size(), 1u);
    const std::string& text = messages[0];
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find(bad.described), std::string::npos) << text;
    EXPECT_NE(text.find("8000 Hz, mono, 16-bit PCM"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FileBackendRefusal,
    ::testing::Values(BadCapture{"rate", 44100, 1, kWav16, "44100 Hz"},
                      BadCapture{"stereo", 8000, 2, kWav16, "2 channels"},
                      BadCapture{"bytes", 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "8-bit"},
                      BadCapture{"float", 8000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "floating"},
                      BadCapture{"aiff", 8000, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
                                 "not a WAV file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileBackendCapture, MissingFileIsRefusedWithAMessage) {
    drainQueue();
    std::vector<std::string> messages;
    const std::string path = "/nonexistent/ostrel/in.wav";
    FileBackend backend(path, "", [&](const std::string& text) { messages.push_back(text); });
    WaveInDevice device(1600, 8000, 1, 16, backend);
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(path), std::string::npos);
}

TEST(FileBackendCapture, WithOnlyAPlaybackFileTheMicrophoneIsSilent) {
    drainQueue();
    ScratchFolder folder;
    FileBackend backend("", folder.file("out.wav"));
    WaveInDevice device(1600, 8000, 1, 16, backend);
    ASSERT_TRUE(device.open(sync::currentThreadId()));
    std::vector<uint32_t> arrivals;
    auto blocks = captureBlocks(device, 1, tickCount(), arrivals);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], std::vector<int16_t>(kBlockSamples, 0));
    device.stop();
    device.close();
}

namespace {

// The callback thread of a playback owner: MM_WOM_DONE releases, WM_USER + 2 stops.
class PlaybackCallback {
public:
    explicit PlaybackCallback(WaveOutDevice& device) : device_(device) {
        thread_ = std::thread([this] {
            sync::ensureMessageQueue();
            id_ = sync::currentThreadId();
            sync::ThreadMessage m;
            while (sync::getMessage(m)) {
                if (m.message == sync::MM_WOM_DONE) {
                    device_.releaseOldest();
                    ++completed_;
                } else if (m.message == sync::WM_USER + 2) {
                    device_.stop();
                    break;
                }
            }
        });
        while (id_ == 0) {
            std::this_thread::yield();
        }
    }
    ~PlaybackCallback() {
        if (thread_.joinable()) {
            finish();
        }
    }
    sync::ThreadId id() const { return id_; }
    int completed() const { return completed_; }
    void finish() {
        sync::postThreadMessage(id_, sync::WM_USER + 2);
        thread_.join();
    }

private:
    WaveOutDevice& device_;
    std::atomic<sync::ThreadId> id_{0};
    std::atomic<int> completed_{0};
    std::thread thread_;
};

// Writes the blocks, waiting whenever the ring is full, then waits until all have played.
void playBlocks(WaveOutDevice& device, PlaybackCallback& callback,
                const std::vector<int16_t>& samples) {
    const int before = callback.completed();
    const size_t blocks = samples.size() / kBlockSamples;
    for (size_t k = 0; k < blocks;) {
        if (device.write(samples.data() + k * kBlockSamples)) {
            ++k;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const uint32_t start = tickCount();
    while (callback.completed() < before + static_cast<int>(blocks) && tickCount() - start < 5000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(callback.completed(), before + static_cast<int>(blocks));
}

}  // namespace

TEST(FileBackendPlayback, FileHoldsExactlyWhatWasPlayedInOrderAcrossOpens) {
    ScratchFolder folder;
    const std::string path = folder.file("out.wav");
    const std::vector<int16_t> first = pattern(7 * kBlockSamples, 1);
    const std::vector<int16_t> second = pattern(2 * kBlockSamples, 2);
    {
        FileBackend backend("", path);
        WaveOutDevice device(1600, 8000, 1, 16, backend, [] {});
        {
            PlaybackCallback callback(device);
            ASSERT_TRUE(device.open(callback.id()));
            const uint32_t start = tickCount();
            playBlocks(device, callback, first);
            // Seven blocks of 200 ms cannot complete sooner than 1.4 s.
            EXPECT_GE(tickCount() - start, 1390u);
            callback.finish();
            EXPECT_TRUE(device.close());
        }
        // Readable while the client still runs, since the header is kept up to date.
        EXPECT_EQ(readWav(path).samples, first);
        {
            // A second run of the same process (the next call's engine) appends.
            PlaybackCallback callback(device);
            ASSERT_TRUE(device.open(callback.id()));
            playBlocks(device, callback, second);
            callback.finish();
            EXPECT_TRUE(device.close());
        }
    }
    const auto contents = readWav(path);
    EXPECT_EQ(contents.sampleRate, 8000);
    EXPECT_EQ(contents.channels, 1);
    EXPECT_EQ(contents.format, kWav16);
    std::vector<int16_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(contents.samples, expected);
}

TEST(FileBackendPlayback, UnwritablePlaybackFileFailsTheOpenWithAMessage) {
    std::vector<std::string> messages;
    FileBackend backend("", "/nonexistent/ostrel/out.wav",
                        [&](const std::string& text) { messages.push_back(text); });
    WaveOutDevice device(1600, 8000, 1, 16, backend, [] {});
    EXPECT_FALSE(device.open(sync::currentThreadId()));
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages[0].find("/nonexistent/ostrel/out.wav"), std::string::npos);
}

TEST(NoAudioBackendTest, EveryOpenFailsAtOnce) {
    NoAudioBackend backend;
    int silenced = 0;
    WaveInDevice in(1600, 8000, 1, 16, backend);
    WaveOutDevice out(1600, 8000, 1, 16, backend, [&] { ++silenced; });
    const uint32_t start = tickCount();
    EXPECT_FALSE(in.open(sync::currentThreadId()));
    EXPECT_FALSE(out.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 100u);
    EXPECT_EQ(silenced, 0);
    std::unique_ptr<WaveStream> stream;
    EXPECT_EQ(backend.open(WaveDirection::Capture, AudioFormat::pcm(8000, 1, 16), 1, stream),
              MMSYSERR_NODRIVER);
    EXPECT_FALSE(stream);
}

namespace {

struct Environment {
    const char* name;
    const char* audio;
    const char* capture;
    const char* playback;
    AudioRoute route;
};

void setOrClear(const char* name, const char* value) {
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
}

}  // namespace

class AudioSelectionTest : public ::testing::TestWithParam<Environment> {
protected:
    void TearDown() override {
        unsetenv("OSTREL_AUDIO");
        unsetenv("OSTREL_CAPTURE_FILE");
        unsetenv("OSTREL_PLAYBACK_FILE");
    }
};

TEST_P(AudioSelectionTest, EnvironmentChoosesTheRoute) {
    const Environment& env = GetParam();
    setOrClear("OSTREL_AUDIO", env.audio);
    setOrClear("OSTREL_CAPTURE_FILE", env.capture);
    setOrClear("OSTREL_PLAYBACK_FILE", env.playback);
    const AudioSelection selection = readAudioSelection();
    EXPECT_EQ(selection.route, env.route);
    if (env.route == AudioRoute::Files) {
        EXPECT_EQ(selection.captureFile, env.capture ? env.capture : "");
        EXPECT_EQ(selection.playbackFile, env.playback ? env.playback : "");
    }
    // A none selection gives a backend whose opens fail.
    if (env.route == AudioRoute::None) {
        auto backend = makeWaveBackend(selection);
        EXPECT_EQ(backend->queryFormat(WaveDirection::Playback, AudioFormat::pcm(8000, 1, 16)),
                  MMSYSERR_NODRIVER);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variables, AudioSelectionTest,
    ::testing::Values(Environment{"unset", nullptr, nullptr, nullptr, AudioRoute::SoundCard},
                      Environment{"empty", "", "", "", AudioRoute::SoundCard},
                      Environment{"capture", nullptr, "a.wav", nullptr, AudioRoute::Files},
                      Environment{"playback", nullptr, nullptr, "b.wav", AudioRoute::Files},
                      Environment{"both", nullptr, "a.wav", "b.wav", AudioRoute::Files},
                      Environment{"noneWins", "none", "a.wav", "b.wav", AudioRoute::None},
                      Environment{"none", "none", nullptr, nullptr, AudioRoute::None},
                      Environment{"unknown", "bogus", nullptr, "b.wav", AudioRoute::Files}),
    [](const auto& info) { return std::string(info.param.name); });

// The devices' default backend and the alert player are chosen from the environment at their
// first use in the process; nothing else in this program uses them before this test.
TEST(ProcessAudio, DefaultDevicesAndAlertsFollowTheEnvironment) {
    setenv("OSTREL_AUDIO", "none", 1);
    drainQueue();
    WaveInDevice in(1600, 8000, 1, 16);
    WaveOutDevice out(1600, 8000, 1, 16);
    const uint32_t start = tickCount();
    EXPECT_FALSE(in.open(sync::currentThreadId()));
    EXPECT_FALSE(out.open(sync::currentThreadId()));
    EXPECT_LT(tickCount() - start, 100u);
    // Alerts are dropped, but still take their time.
    const uint32_t beepStart = tickCount();
    EXPECT_TRUE(AlertPlayer::instance().beep(1000, 60));
    EXPECT_GE(tickCount() - beepStart, 55u);
    EXPECT_FALSE(AlertPlayer::instance().play("no-such-sound.wav", AlertPlayer::kAsync));
    unsetenv("OSTREL_AUDIO");
}
