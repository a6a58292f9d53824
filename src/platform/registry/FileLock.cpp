#include "FileLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

FileLock::FileLock(const QString& lockFile, int timeoutMs) {
    QDir().mkpath(QFileInfo(lockFile).absolutePath());
    fd_ = ::open(QFile::encodeName(lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
