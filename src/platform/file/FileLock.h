#pragma once
#include <QString>

namespace platform {

// An exclusive advisory lock (flock) on a lock file, held for the object's
// lifetime. Waiting is bounded: a process that hangs while holding the lock
// makes the others fail instead of freezing them.
class FileLock {
public:
    FileLock(const QString& lockFile, int timeoutMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace platform
