#include "InstanceLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceLock::InstanceLock(QString path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
    Release();
}

void InstanceLock::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

InstanceLock::Result InstanceLock::TryAcquire() {
    if (fd_ >= 0) return Result::Acquired;
    // CLOEXEC: a program we start must not inherit, and so prolong, the lock.
    // NOFOLLOW and NONBLOCK: a link or a FIFO planted in its place is refused
    // at once instead of followed or waited on.
    const int fd = ::open(path_.toLocal8Bit().constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return Result::Unavailable;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return Result::Unavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        fd_ = fd;
        return Result::Acquired;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Result::HeldByOther : Result::Unavailable;
}

}  // namespace platform
