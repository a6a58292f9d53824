#include "FileLock.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>

#include "platform/file/RegularFile.h"

namespace platform {

FileLock::FileLock(const QString& lockFile, int timeoutMs) {
    RegularFile::MakeFolders(QFileInfo(lockFile).absolutePath());
    // A FIFO or folder in the lock's place is no lock: writers then fail.
    fd_ = RegularFile::Open(lockFile, O_RDWR | O_CREAT, 0600).fd;
    if (fd_ < 0) return;
    const QDeadlineTimer deadline(timeoutMs);
    const timespec pause{0, 1'000'000};
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) return;
        ::nanosleep(&pause, nullptr);
    }
}

FileLock::~FileLock() {
    // Closing the descriptor releases the lock.
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
