#include "ExchangeStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <set>

namespace platform::sim {
namespace {

// The descriptor of the lock file, locked for writing; -1 when that fails.
// Closing it drops the lock.
int OpenLocked(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        ::close(fd);
        return -1;
    }
    return fd;
}

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

bool WriteWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

ExchangeStore::ExchangeStore(QString statePath)
    : path_(std::move(statePath)),
      pathBytes_(QFile::encodeName(path_).toStdString()),
      lockPathBytes_(pathBytes_ + ".lock") {
    QDir().mkpath(QFileInfo(path_).path());
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
    const int fd = ::open(pathBytes_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        key_ = {};
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
    const int lock = OpenLocked(lockPathBytes_);
    if (lock < 0) return false;
    Load();
    change(state_);
    const bool written = Write();
    ::close(lock);
    if (!written) Load();
    return written;
}

bool ExchangeStore::Write() {
    const std::string temp = pathBytes_ + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = WriteWhole(fd, state_.Serialize());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), pathBytes_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    key_ = KeyOf(pathBytes_.c_str());
    return true;
}

}  // namespace platform::sim
