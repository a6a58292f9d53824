#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

using Status = RegularFile::Status;

bool IsMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// ENXIO: a FIFO without a reader opened for writing, or a device without a
// driver; EISDIR: a folder opened for writing.
Status StatusOfFailedOpen(int error) {
    if (IsMissing(error)) return Status::Missing;
    return error == ENXIO || error == EISDIR ? Status::NotRegular : Status::Failed;
}

RegularFile::Opened Refused(int fd, Status status) {
    ::close(fd);
    return {-1, status};
}

bool IsFolder(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Appends to content until the end of the file or maxBytes in all.
bool ReadUpTo(int fd, std::string& content, std::size_t maxBytes) {
    struct stat info {};
    if (::fstat(fd, &info) == 0)
        content.reserve(std::min(static_cast<std::size_t>(info.st_size), maxBytes));
    char chunk[65536];
    while (content.size() < maxBytes) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, maxBytes - content.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

RegularFile::Opened RegularFile::Open(const QString& path, int flags, mode_t mode) {
    return Open(QFile::encodeName(path).constData(), flags, mode);
}

RegularFile::Opened RegularFile::Open(const char* path, int flags, mode_t mode) {
    // Some devices act on open alone (a modem line, a tape): look first.
    struct stat info {};
    if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) return {-1, Status::NotRegular};
    // O_NONBLOCK keeps the open from waiting on a FIFO that took the file's
    // place meanwhile; fstat then tells what was opened.
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return {-1, StatusOfFailedOpen(errno)};
    if (::fstat(fd, &info) != 0) return Refused(fd, Status::Failed);
    if (!S_ISREG(info.st_mode)) return Refused(fd, Status::NotRegular);
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1)
        return Refused(fd, Status::Failed);
    return {fd, Status::Ok};
}

RegularFile::Status RegularFile::Read(const QString& path, std::string& content,
                                      std::size_t maxBytes) {
    content.clear();
    const Opened file = Open(path, O_RDONLY);
    if (file.status != Status::Ok) return file.status;
    const bool read = ReadUpTo(file.fd, content, maxBytes);
    ::close(file.fd);
    if (read) return Status::Ok;
    content.clear();
    return Status::Failed;
}

bool RegularFile::MakeFolders(const QString& dir) {
    const QString full = QDir::cleanPath(QDir(dir).absolutePath());
    const QByteArray path = QFile::encodeName(full);
    if (IsFolder(path.constData())) return true;
    const QString parent = QFileInfo(full).path();
    if (parent == full || !MakeFolders(parent)) return false;
    // Nothing of ours is made where every user may create, rename or delete
    // (/tmp): another user could have put a link or a folder of theirs there.
    struct stat info {};
    if (::stat(QFile::encodeName(parent).constData(), &info) != 0 || (info.st_mode & S_IWOTH))
        return false;
    return (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST) && IsFolder(path.constData());
}

}  // namespace platform
