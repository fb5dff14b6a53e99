#include "recording/RecordFileCursor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recording/SemLock.h"

namespace ostrel::recording {

RecordFileCursor::~RecordFileCursor() {
    close();
}

bool RecordFileCursor::open(const std::string& path, uint32_t recordSize) {
    close();
    if (recordSize == 0) {
        return false;
    }
    // Read and write, as the lock is meant for a file we may own; a read-only file (a copy
    // from a CD, a shared folder) still plays.
    // Non-blocking, so that a pipe given as the file fails at once instead of waiting for a
    // writer; regular files ignore the flag.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size <= 0) {
        ::close(fd);
        return false;
    }
    const size_t size = static_cast<size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    base_ = static_cast<const uint8_t*>(view);
    size_ = size;
    recordSize_ = recordSize;
    path_ = path;
    SemLock hold(lock_);
    offset_ = 0;
    return true;
}

void RecordFileCursor::close() {
    if (base_ != nullptr) {
        ::munmap(const_cast<uint8_t*>(base_), size_);
        base_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }
    size_ = 0;
    recordSize_ = 0;
    path_.clear();
    SemLock hold(lock_);
    offset_ = 0;
}

size_t RecordFileCursor::offset() const {
    SemLock hold(lock_);
    return offset_;
}

const uint8_t* RecordFileCursor::record() const {
    SemLock hold(lock_);
    if (base_ == nullptr || offset_ + recordSize_ > size_) {
        return nullptr;
    }
    return base_ + offset_;
}

void RecordFileCursor::rewind() {
    SemLock hold(lock_);
    offset_ = 0;
}

bool RecordFileCursor::next() {
    SemLock hold(lock_);
    if (offset_ >= size_) {
        return false;
    }
    // A file with a broken last record ends the cursor at the end, not beyond the mapping.
    offset_ = offset_ + recordSize_ > size_ ? size_ : offset_ + recordSize_;
    return true;
}

bool RecordFileCursor::nextFrom(const uint8_t* record) {
    SemLock hold(lock_);
    if (base_ == nullptr || base_ + offset_ != record || offset_ >= size_) {
        return false;
    }
    offset_ = offset_ + recordSize_ > size_ ? size_ : offset_ + recordSize_;
    return true;
}

bool RecordFileCursor::prev() {
    SemLock hold(lock_);
    if (offset_ < recordSize_) {
        return false;
    }
    offset_ -= recordSize_;
    return true;
}

bool RecordFileCursor::seekRecord(size_t index) {
    SemLock hold(lock_);
    if (recordSize_ == 0 || index >= size_ / recordSize_) {
        return false;
    }
    offset_ = index * recordSize_;
    return true;
}

}  // namespace ostrel::recording
