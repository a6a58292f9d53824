#include "WindowMessageClient.h"

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

// True when fd became ready for events before the deadline.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, left);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

LONG Connect(int fd, const LocalSocketAddress& address, Clock::time_point deadline) {
    for (;;) {
        if (::connect(fd, address.Raw(), address.length) == 0) return ERROR_SUCCESS;
        if (errno == EINTR) continue;
        // A Unix socket says EAGAIN while the receiver's backlog is full; it
        // is alive, just busy.
        if (errno != EAGAIN) return ERROR_INVALID_HANDLE;
        if (MillisecondsLeft(deadline) == 0) return ERROR_TIMEOUT;
        ::poll(nullptr, 0, 2);
    }
}

LONG WriteAll(int fd, const QByteArray& bytes, Clock::time_point deadline) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done,
                                 static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd, POLLOUT, deadline)) return ERROR_TIMEOUT;
        } else {
            return ERROR_INVALID_HANDLE;
        }
    }
    return ERROR_SUCCESS;
}

WindowMessageClient::Result ReadReply(int fd, Clock::time_point deadline) {
    char reply[CopyDataFrame::kReplySize];
    qsizetype got = 0;
    while (got < CopyDataFrame::kReplySize) {
        if (!WaitFor(fd, POLLIN, deadline)) return {0, ERROR_TIMEOUT};
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
                                                      std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    const auto address = LocalSocketAddress::FromPath(path);
    if (!address) return {0, ERROR_INVALID_HANDLE};
    SocketFd socket;
    if (socket.get() < 0) return {0, ERROR_INVALID_HANDLE};
    if (const LONG error = Connect(socket.get(), *address, deadline); error != ERROR_SUCCESS)
        return {0, error};
    // Our folder is private, but a listener of another user has no business
    // receiving the hand-over.
    const auto uid = PeerUid(socket.get());
    if (!uid || *uid != ::geteuid()) return {0, ERROR_ACCESS_DENIED};
    if (const LONG error = WriteAll(socket.get(), frame, deadline); error != ERROR_SUCCESS)
        return {0, error};
    return ReadReply(socket.get(), deadline);
}

}  // namespace platform
