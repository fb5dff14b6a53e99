// The recorder of one call: the engine's voice threads hand it every block they send
// (direction 0) and play (direction 1); it pairs the two directions into mixed blocks, codes
// them and appends them to a temporary file, which the main window saves when the call ends.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "audio/SpeechCodec.h"
#include "sync/CSem.h"

namespace ostrel::recording {

class ConversationRecorder {
public:
    // Asked for the voice-conference GUID when the first block arrives: it names the file.
    using GuidSource = std::function<std::string()>;

    // Pending entries beyond which the older ones are written, and how many newest entries
    // are kept back for partners that arrive late.
    static constexpr size_t kMostPending = 50;
    static constexpr size_t kKeptBack = 4;
    // How far back a new block looks for its partner of the other direction.
    static constexpr size_t kPairingWindow = 3;

    enum Kind : uint32_t { kHeard = 1, kSpoken = 2, kMixed = 3 };

    // Temporary files go to the user's private temporary folder.
    explicit ConversationRecorder(GuidSource conferenceGuid);
    // Temporary files go to `temporaryFolder`, which must exist; the codec may be given.
    ConversationRecorder(GuidSource conferenceGuid, std::string temporaryFolder,
                         std::unique_ptr<audio::SpeechCodec> codec = nullptr);
    // The temporary file stays on disk unless `save` moved it.
    ~ConversationRecorder();

    ConversationRecorder(const ConversationRecorder&) = delete;
    ConversationRecorder& operator=(const ConversationRecorder&) = delete;

    // Any engine thread. Takes a copy of a 3200-byte block; false (nothing kept) for any
    // other size or a null pointer. After `save` blocks are accepted and dropped.
    bool addBlock(const void* pcm, std::size_t byteCount, uint32_t direction);

    // True once the first block arrived and the temporary file was asked for, even when it
    // could not be created: then `save` fails, so the user learns the recording is lost.
    bool isStarted() const { return started_.load(); }

    // Writes what is pending, closes the file and copies it to `destination`, which must not
    // exist yet; deletes the temporary file on success. On failure the temporary file stays.
    bool save(const std::string& destination);

    // The temporary file ("" before the first block or when it could not be created).
    std::string temporaryPath() const;
    // Entries waiting to be written (for tests and diagnostics).
    size_t pendingCount() const;

private:
    struct Entry {
        Kind kind;
        std::unique_ptr<int16_t[]> samples;
    };

    void openFileLocked();
    void writeEntriesLocked(size_t count);
    void writeBytesLocked(const uint8_t* data, size_t size);
    void closeFileLocked();

    mutable sync::CSem lock_;
    // Everything below is guarded by lock_.
    std::list<Entry> pending_;  // oldest first
    GuidSource conferenceGuid_;
    int fd_ = -1;
    std::string temporaryPath_;
    std::string temporaryFolder_;  // "" means the private default, found at first use
    bool useDefaultFolder_;
    std::unique_ptr<audio::SpeechCodec> codec_;
    bool closed_ = false;       // save ran: later blocks are dropped
    bool writeFailed_ = false;  // the file misses blocks; save must not claim success
    std::atomic<bool> started_{false};
};

}  // namespace ostrel::recording
