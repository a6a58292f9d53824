#pragma once
// An absolute filesystem path as a Unix-domain socket address.
#include <QString>

#include <optional>

#include <sys/socket.h>
#include <sys/un.h>

namespace platform {

struct LocalSocketAddress {
    sockaddr_un address{};
    socklen_t length = 0;

    // Nothing when the path does not fit sun_path (108 bytes with its NUL).
    static std::optional<LocalSocketAddress> FromPath(const QString& path);

    const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(&address); }
};

// The user id of the process at the other end of a connected socket, taken by
// the kernel at connect time, so it cannot be forged by the peer.
std::optional<uid_t> PeerUid(int fd);

// Whether a live process listens at path: a socket file left by a dead one
// refuses the connection. True when it cannot be told (leave the file alone).
bool IsListening(const QString& path);

}  // namespace platform
