#include "AtomicFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>

#include "platform/file/FileIo.h"
#include "platform/file/RegularFile.h"

namespace platform {
namespace {

// The file that really gets replaced: the target of a link, when there is one.
QByteArray ResolvedTarget(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    char resolved[PATH_MAX];
    if (::realpath(name.constData(), resolved) != nullptr) return QByteArray(resolved);
    return name;
}

}  // namespace

AtomicFile::ReadStatus AtomicFile::ReadAll(const QString& path, std::string& content) {
    // One byte over the limit tells a file that is too big from one that just fits.
    switch (RegularFile::Read(path, content, kMaxBytes + 1)) {
        case RegularFile::Status::Ok:
            break;
        case RegularFile::Status::Missing:
            return ReadStatus::Missing;
        default:
            return ReadStatus::Failed;
    }
    if (content.size() <= kMaxBytes) return ReadStatus::Ok;
    content.clear();
    return ReadStatus::Failed;
}

bool AtomicFile::Replace(const QString& path, const std::string& content) {
    const QByteArray target = ResolvedTarget(path);
    const QFileInfo info(QFile::decodeName(target));
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    // A FIFO or folder there is the user's, not a file of ours to replace.
    if (exists && !S_ISREG(old.st_mode)) return false;
    RegularFile::MakeFolders(info.absolutePath());

    // mkostemp makes the file 0600; an old file's mode may only narrow that.
    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    if (exists && ::fchmod(fd, old.st_mode & 0600) != 0) {
        ::close(fd);
        ::unlink(temp.constData());
        return false;
    }

    const bool written = FileIo::WriteAll(fd, content) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    FileIo::SyncFolder(info.absolutePath());
    return true;
}

}  // namespace platform
