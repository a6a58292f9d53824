#include "RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/file/RegularFile.h"

namespace platform {
namespace {

constexpr mode_t kPrivateDir = S_IRWXU;

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString Quoted(const QString& path) {
    return "\"" + path + "\"";
}

// A folder in which every user may create, rename or delete: nothing of ours
// is made there, and nothing found there is trusted unless the sticky bit
// keeps others' hands off it. (Group-writable is left alone: with a private
// group per user, as Debian sets up, the group is the user.)
bool OthersMayWrite(const struct stat& info) {
    return (info.st_mode & S_IWOTH) != 0;
}

// The folder that holds ours must not let another user swap it: owned by us
// or root, and not open to others' writes unless sticky (as /tmp is).
QString CheckParent(const QString& path) {
    const QByteArray real = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    struct stat info {};
    if (real.isEmpty() || ::stat(real.constData(), &info) != 0) return Quoted(path) + " is missing";
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return Quoted(path) + " belongs to another user";
    if (OthersMayWrite(info) && !(info.st_mode & S_ISVTX))
        return Quoted(path) + " can be changed by other users";
    return {};
}

}  // namespace

QString RuntimeFolder::CheckPrivate(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Quoted(path) + ": " + ErrnoText(errno);
    if (S_ISLNK(info.st_mode)) return Quoted(path) + " is a symbolic link";
    if (!S_ISDIR(info.st_mode)) return Quoted(path) + " is not a folder";
    if (info.st_uid != ::geteuid()) return Quoted(path) + " belongs to another user";
    if ((info.st_mode & 077) != 0)
        return Quoted(path) +
               QString(" has mode %1, not 0700").arg(info.st_mode & 07777, 4, 8, QChar('0'));
    return {};
}

QString RuntimeFolder::MakePrivateChild(const QString& parent, const QString& name) {
    if (QString problem = CheckParent(parent); !problem.isEmpty()) return problem;
    const QString path = parent + "/" + name;
    if (::mkdir(QFile::encodeName(path).constData(), kPrivateDir) != 0 && errno != EEXIST)
        return Quoted(path) + ": " + ErrnoText(errno);
    // Made just now or found: either way it must be ours alone, and a mode
    // found wrong is reported, never changed.
    return CheckPrivate(path);
}

RuntimeFolder::Result RuntimeFolder::Resolve(const QString& xdgRuntimeDir,
                                             const QString& stateDir) {
    const QString stateProblem =
        RegularFile::MakeFolders(stateDir)
            ? MakePrivateChild(stateDir, "runtime")
            : Quoted(stateDir) + " cannot be made (never inside a shared folder)";
    const QString userWide = stateProblem.isEmpty() ? stateDir + "/runtime" : QString();
    QString whyNotRuntime = "XDG_RUNTIME_DIR is not set";
    if (!xdgRuntimeDir.isEmpty() && QDir::isAbsolutePath(xdgRuntimeDir)) {
        whyNotRuntime = CheckPrivate(xdgRuntimeDir);
        if (whyNotRuntime.isEmpty()) {
            const QString problem = MakePrivateChild(xdgRuntimeDir, "vastrel");
            if (problem.isEmpty()) return {xdgRuntimeDir + "/vastrel", {}, userWide};
            whyNotRuntime = problem;
        }
    }
    if (!userWide.isEmpty()) return {userWide, {}, userWide};
    return {{}, whyNotRuntime + "; " + stateProblem, {}};
}

}  // namespace platform
