#pragma once
// For tests that put a FIFO or folder where a file belongs. A call that could
// wait for ever on one runs in a forked child, so such a fault fails the test
// instead of hanging it.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <cerrno>
#include <functional>

// The child's exit code (what work returned, 0..255), or -1 when it had not
// ended within ms; it is then killed by its pid.
inline int ExitCodeWithin(int ms, const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(work());
    if (pid < 0) return -1;
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (ended < 0 && errno != EINTR) return -1;
        if (timer.hasExpired(ms)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        QThread::msleep(2);
    }
}

inline bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

inline bool IsFifo(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// The permission bits (of a link's target); -1 when there is nothing.
inline int ModeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
