#include "desktop/NamedFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Platform.h"

namespace ostrel::desktop {

NamedFileLock::NamedFileLock(std::string name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        path_ = platform::joinPath(runtime, name + ".lock");
    } else {
        // The temporary folder is shared by every user: keep one file per user.
        path_ = platform::joinPath(platform::tempFolder(),
                                   name + "-" + std::to_string(::getuid()) + ".lock");
    }
}

NamedFileLock::~NamedFileLock() {
    unlock();
}

bool NamedFileLock::lock() {
    if (fd_ >= 0) {
        return true;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void NamedFileLock::unlock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace ostrel::desktop
