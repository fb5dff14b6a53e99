#include "recording/ConversationRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"
#include "recording/PrivateTempFolder.h"
#include "recording/RecordingFormat.h"
#include "recording/SemLock.h"

namespace ostrel::recording {

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Copies `from` to a new file `to`; an existing `to` fails the copy and is left alone. A copy
// that breaks off (a full disk) leaves no half file behind.
bool copyToNewFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    uint8_t buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        if (!writeAll(out, buffer, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

}  // namespace

ConversationRecorder::ConversationRecorder(GuidSource conferenceGuid)
    : conferenceGuid_(std::move(conferenceGuid)),
      useDefaultFolder_(true),
      codec_(audio::SpeechCodec::create()) {}

ConversationRecorder::ConversationRecorder(GuidSource conferenceGuid, std::string temporaryFolder,
                                           std::unique_ptr<audio::SpeechCodec> codec)
    : conferenceGuid_(std::move(conferenceGuid)),
      temporaryFolder_(std::move(temporaryFolder)),
      useDefaultFolder_(false),
      codec_(codec ? std::move(codec) : audio::SpeechCodec::create()) {}

ConversationRecorder::~ConversationRecorder() {
    SemLock hold(lock_);
    closeFileLocked();
}

void ConversationRecorder::openFileLocked() {
    started_.store(true);
    if (useDefaultFolder_) {
        temporaryFolder_ = privateTemporaryFolder().value_or("");
    }
    if (temporaryFolder_.empty()) {
        writeFailed_ = true;
        platform::trace("recording: no private temporary folder");
        return;
    }
    const std::string guid = conferenceGuid_ ? conferenceGuid_() : std::string();
    ExclusiveFile file = createExclusiveFile(temporaryFolder_, safeFileName(guid));
    if (file.fd < 0) {
        writeFailed_ = true;
        platform::trace("recording: the temporary file cannot be created");
        return;
    }
    fd_ = file.fd;
    temporaryPath_ = std::move(file.path);
}

bool ConversationRecorder::addBlock(const void* pcm, std::size_t byteCount, uint32_t direction) {
    if (pcm == nullptr || byteCount != kPcmBlockBytes) {
        return false;
    }
    SemLock hold(lock_);
    if (closed_) {
        return true;
    }
    if (!started_.load()) {
        openFileLocked();
    }
    auto samples = std::make_unique<int16_t[]>(kBlockSamples);
    std::memcpy(samples.get(), pcm, kPcmBlockBytes);
    const Kind kind = direction != 0 ? kHeard : kSpoken;

    // The two directions arrive on different threads with their own jitter, so a partner may
    // be up to three entries back.
    size_t looked = 0;
    for (auto it = pending_.rbegin(); it != pending_.rend() && looked < kPairingWindow;
         ++it, ++looked) {
        if (it->kind == kMixed || it->kind == kind) {
            continue;
        }
        int16_t* into = it->samples.get();
        for (uint32_t i = 0; i < kBlockSamples; ++i) {
            into[i] = static_cast<int16_t>((int{into[i]} + int{samples[i]}) / 2);
        }
        it->kind = kMixed;
        return true;
    }
    pending_.push_back({kind, std::move(samples)});

    // Coding in bursts every ten seconds keeps the voice threads' per-block cost low.
    if (pending_.size() > kMostPending) {
        writeEntriesLocked(pending_.size() - kKeptBack);
    }
    return true;
}

void ConversationRecorder::writeEntriesLocked(size_t count) {
    for (size_t i = 0; i < count && !pending_.empty(); ++i) {
        Entry& entry = pending_.front();
        uint8_t coded[kCodedBlockBytes];
        size_t amount = kBlockSamples;
        if (codec_ && codec_->encodeFrames(entry.samples.get(), amount, coded) &&
            amount == kCodedBlockBytes) {
            writeBytesLocked(coded, kCodedBlockBytes);
        } else {
            writeFailed_ = true;
        }
        pending_.pop_front();
    }
    // Raw writes reach the file at once; there is no stream buffer to flush.
}

void ConversationRecorder::writeBytesLocked(const uint8_t* data, size_t size) {
    if (fd_ < 0 || !writeAll(fd_, data, size)) {
        writeFailed_ = true;
    }
}

void ConversationRecorder::closeFileLocked() {
    if (fd_ >= 0) {
        if (::close(fd_) != 0) {
            writeFailed_ = true;
        }
        fd_ = -1;
    }
}

bool ConversationRecorder::save(const std::string& destination) {
    std::string source;
    {
        SemLock hold(lock_);
        if (!closed_) {
            writeEntriesLocked(pending_.size());
            closeFileLocked();
            closed_ = true;
        }
        if (!started_.load() || writeFailed_ || temporaryPath_.empty()) {
            return false;
        }
        source = temporaryPath_;
    }
    if (destination.empty() || !copyToNewFile(source, destination)) {
        return false;
    }
    ::unlink(source.c_str());
    SemLock hold(lock_);
    temporaryPath_.clear();
    return true;
}

std::string ConversationRecorder::temporaryPath() const {
    SemLock hold(lock_);
    return temporaryPath_;
}

size_t ConversationRecorder::pendingCount() const {
    SemLock hold(lock_);
    return pending_.size();
}

}  // namespace ostrel::recording
