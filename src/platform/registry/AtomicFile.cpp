#include "AtomicFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

bool WriteFully(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file that really gets replaced: the target of a link, when there is one.
QByteArray ResolvedTarget(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    char resolved[PATH_MAX];
    if (::realpath(name.constData(), resolved) != nullptr) return QByteArray(resolved);
    return name;
}

void SyncDirectory(const QByteArray& dir) {
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

AtomicFile::ReadStatus AtomicFile::ReadAll(const QString& path, std::string& content) {
    content.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    content.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            content.clear();
            return ReadStatus::Failed;
        }
        if (n == 0) break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool AtomicFile::Replace(const QString& path, const std::string& content) {
    const QByteArray target = ResolvedTarget(path);
    const QFileInfo info(QFile::decodeName(target));
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QDir().mkpath(info.absolutePath());

    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;

    struct stat old {};
    if (::stat(target.constData(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

    const bool written = WriteFully(fd, content.data(), content.size()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    SyncDirectory(dir);
    return true;
}

}  // namespace platform
