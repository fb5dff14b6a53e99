// A lock shared by every process of the user that names it: an exclusive flock on a file in
// the runtime folder. The kernel drops it when its holder dies, so a crash never leaves it
// taken. Any thread; one object is held by one thread at a time.
#pragma once

#include <string>

namespace ostrel::desktop {

class NamedFileLock {
public:
    explicit NamedFileLock(std::string name);
    ~NamedFileLock();

    NamedFileLock(const NamedFileLock&) = delete;
    NamedFileLock& operator=(const NamedFileLock&) = delete;

    // Waits without a time limit. False when the lock file cannot be opened.
    bool lock();
    void unlock();

    // $XDG_RUNTIME_DIR/<name>.lock, else <temp folder>/<name>-<uid>.lock.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace ostrel::desktop
