#include "WindowMessageClient.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/window/CopyDataFrame.h"
#include "platform/window/LocalSocketAddress.h"
#include "platform/window/WindowSystem.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

class SocketFd {
public:
    SocketFd() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
    ~SocketFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The end of one send: the deadline, and a descriptor that turns readable
// when the wait is to be given up (a termination signal).
struct Limits {
    Clock::time_point deadline;
    int cancelFd;
};

// ERROR_SUCCESS when fd became ready for events within the limits; ready
// after at most maxMs when fd is -1.
LONG WaitFor(int fd, short events, const Limits& limits, int maxMs = -1) {
    for (;;) {
        int left = MillisecondsLeft(limits.deadline);
        if (left == 0) return ERROR_TIMEOUT;
        if (maxMs >= 0) left = std::min(left, maxMs);
        pollfd p[2]{{fd, events, 0}, {limits.cancelFd, POLLIN, 0}};
        const int rc = ::poll(p, 2, left);
        if (rc > 0 && p[1].revents != 0) return ERROR_CANCELLED;
        if (rc > 0 || (rc == 0 && maxMs >= 0)) return ERROR_SUCCESS;
        if (rc < 0 && errno != EINTR) return ERROR_INVALID_HANDLE;
    }
}

LONG Connect(int fd, const LocalSocketAddress& address, const Limits& limits) {
    for (;;) {
        if (::connect(fd, address.Raw(), address.length) == 0) return ERROR_SUCCESS;
        if (errno == EINTR) continue;
        // A Unix socket says EAGAIN while the receiver's backlog is full; it
        // is alive, just busy.
        if (errno != EAGAIN) return ERROR_INVALID_HANDLE;
        if (const LONG error = WaitFor(-1, 0, limits, 2); error != ERROR_SUCCESS) return error;
    }
}

LONG WriteAll(int fd, const QByteArray& bytes, const Limits& limits) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done,
                                 static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (const LONG error = WaitFor(fd, POLLOUT, limits); error != ERROR_SUCCESS)
                return error;
        } else {
            return ERROR_INVALID_HANDLE;
        }
    }
    return ERROR_SUCCESS;
}

WindowMessageClient::Result ReadReply(int fd, const Limits& limits) {
    char reply[CopyDataFrame::kReplySize];
    qsizetype got = 0;
    while (got < CopyDataFrame::kReplySize) {
        if (const LONG error = WaitFor(fd, POLLIN, limits); error != ERROR_SUCCESS)
            return {0, error};
        const ssize_t n =
            ::recv(fd, reply + got, static_cast<size_t>(CopyDataFrame::kReplySize - got), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        // Closed without an answer: the receiver refused the message or its
        // window went away meanwhile.
        if (n <= 0) return {0, ERROR_INVALID_HANDLE};
        got += n;
    }
    const auto decoded = CopyDataFrame::DecodeReply(QByteArrayView(reply, got));
    if (decoded.status != CopyDataFrame::Status::Complete) return {0, ERROR_INVALID_HANDLE};
    return {decoded.result, ERROR_SUCCESS};
}

}  // namespace

WindowMessageClient::Result WindowMessageClient::Send(const QString& path, const QByteArray& frame,
                                                      std::chrono::milliseconds timeout,
                                                      int cancelFd) {
    const Limits limits{Clock::now() + timeout, cancelFd};
    const auto address = LocalSocketAddress::FromPath(path);
    if (!address) return {0, ERROR_INVALID_HANDLE};
    SocketFd socket;
    if (socket.get() < 0) return {0, ERROR_INVALID_HANDLE};
    if (const LONG error = Connect(socket.get(), *address, limits); error != ERROR_SUCCESS)
        return {0, error};
    // Our folder is private, but a listener of another user has no business
    // receiving the hand-over.
    const auto uid = PeerUid(socket.get());
    if (!uid || *uid != ::geteuid()) return {0, ERROR_ACCESS_DENIED};
    if (const LONG error = WriteAll(socket.get(), frame, limits); error != ERROR_SUCCESS)
        return {0, error};
    return ReadReply(socket.get(), limits);
}

}  // namespace platform
