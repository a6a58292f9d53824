#include "ExchangeStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <set>

#include "platform/file/FileIo.h"
#include "platform/file/FileLock.h"
#include "platform/file/RegularFile.h"

namespace platform::sim {
namespace {

// The lock is held for one read-modify-write of a small file; waiting longer
// means its holder hangs (or was stopped), and the update fails instead.
constexpr int kLockTimeoutMs = 5000;

bool ProcessAlive(std::int64_t pid) {
    if (pid <= 0 || pid > INT32_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool ReadWhole(int fd, std::string* text) {
    char chunk[16384];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text->append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace

ExchangeStore::ExchangeStore(QString statePath)
    : path_(std::move(statePath)),
      pathBytes_(QFile::encodeName(path_).toStdString()),
      lockPathBytes_(pathBytes_ + ".lock") {
    RegularFile::MakeFolders(QFileInfo(path_).path());
}

QString ExchangeStore::DefaultPath(const QString& runtimeDir) {
    return runtimeDir + "/exchange.state";
}

ExchangeStore::FileKey ExchangeStore::KeyOf(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0) return {};
    return {true,
            info.st_dev,
            info.st_ino,
            info.st_size,
            info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

bool ExchangeStore::Refresh() {
    if (loaded_ && KeyOf(pathBytes_.c_str()) == key_) return false;
    Load();
    return true;
}

void ExchangeStore::Load() {
    loaded_ = true;
    std::string text;
    const int fd = RegularFile::Open(pathBytes_.c_str(), O_RDONLY).fd;
    if (fd < 0) {
        // Missing, or a FIFO or folder in its place: no calls, and no new
        // look until that changes.
        key_ = KeyOf(pathBytes_.c_str());
        state_ = ExchangeState();
        return;
    }
    struct stat info {};
    const bool read = ::fstat(fd, &info) == 0 && ReadWhole(fd, &text);
    ::close(fd);
    // Key from the descriptor actually read, so a replacement racing the
    // read is noticed at the next Refresh.
    key_ = read ? FileKey{true,
                          info.st_dev,
                          info.st_ino,
                          info.st_size,
                          info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                          info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec}
                : FileKey{};
    state_ = ExchangeState::Parse(text);
    // Demo calls of a process that died without cleaning up would ring for ever.
    std::set<std::int64_t> dead;
    for (const SimCall& sim : state_.Calls()) {
        if (sim.owner != 0 && !ProcessAlive(sim.owner)) dead.insert(sim.owner);
    }
    if (!dead.empty()) state_.EndIf([&](const SimCall& sim) { return dead.contains(sim.owner); });
}

bool ExchangeStore::Update(const std::function<void(ExchangeState&)>& change) {
    bool written = false;
    {
        const FileLock lock(QFile::decodeName(lockPathBytes_.c_str()), kLockTimeoutMs);
        if (!lock.Locked()) return false;
        Load();
        change(state_);
        written = Write();
    }
    if (!written) Load();
    return written;
}

bool ExchangeStore::Write() {
    // Only a file of ours is replaced, never a FIFO or folder put there.
    struct stat old {};
    if (::lstat(pathBytes_.c_str(), &old) == 0 && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
        return false;
    const std::string temp = pathBytes_ + ".tmp." + std::to_string(::getpid());
    // A fresh file, so it is private whatever a stale one left there was.
    ::unlink(temp.c_str());
    const int fd = RegularFile::Open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600).fd;
    if (fd < 0) return false;
    const bool written = FileIo::WriteAll(fd, state_.Serialize());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), pathBytes_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    key_ = KeyOf(pathBytes_.c_str());
    return true;
}

}  // namespace platform::sim
