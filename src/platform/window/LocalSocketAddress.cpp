#include "LocalSocketAddress.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace platform {

std::optional<LocalSocketAddress> LocalSocketAddress::FromPath(const QString& path) {
    const QByteArray bytes = path.toLocal8Bit();
    LocalSocketAddress result;
    if (bytes.isEmpty() || bytes.size() >= static_cast<qsizetype>(sizeof(result.address.sun_path)))
        return std::nullopt;
    result.address.sun_family = AF_UNIX;
    std::memcpy(result.address.sun_path, bytes.constData(), bytes.size());
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + bytes.size() + 1);
    return result;
}

std::optional<uid_t> PeerUid(int fd) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof(credentials))
        return std::nullopt;
    return credentials.uid;
}

bool IsListening(const QString& path) {
    const auto address = LocalSocketAddress::FromPath(path);
    if (!address) return false;
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (probe < 0) return true;
    const int rc = ::connect(probe, address->Raw(), address->length);
    const int error = errno;
    ::close(probe);
    // A full backlog (EAGAIN) still means someone is listening.
    return rc == 0 || (error != ECONNREFUSED && error != ENOENT);
}

}  // namespace platform
