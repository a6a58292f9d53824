#pragma once
// The previous-instance test: an advisory lock on a per-user file. The kernel
// drops it when the holder dies, kill -9 included, so nothing goes stale.
#include <QString>

namespace platform {

class InstanceLock {
public:
    enum class Result { Acquired, HeldByOther, Unavailable };

    explicit InstanceLock(QString path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock if nobody holds it; once taken it is kept until this
    // object goes, and asking again says Acquired. Unavailable: the file
    // cannot be opened, or is not a regular file of this user's.
    Result TryAcquire();
    void Release();

private:
    QString path_;
    int fd_ = -1;
};

}  // namespace platform
