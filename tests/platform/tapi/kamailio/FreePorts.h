#pragma once
// Ports the kernel has just found free, so that test runs on one machine never
// meet: bind port 0, read the port it gave, let go. A port is never handed out
// twice by one FreePorts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtGlobal>
#include <initializer_list>
#include <set>
#include <vector>

class FreePorts {
public:
    enum class Reach { Loopback, AnyAddress };

    // A port free for type (SOCK_DGRAM, SOCK_STREAM), together with the
    // ports at port + each of alsoFree (sipp's media takes port and port + 2).
    // 0 when the kernel gave none in a few tries.
    quint16 Pick(int type, Reach reach = Reach::Loopback,
                 std::initializer_list<int> alsoFree = {}) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            std::vector<int> held;
            const quint16 port = BindAll(type, reach, alsoFree, &held);
            for (const int fd : held) ::close(fd);
            if (port != 0 && Unused(port, alsoFree)) {
                given_.insert(port);
                for (const int offset : alsoFree)
                    given_.insert(static_cast<quint16>(port + offset));
                return port;
            }
        }
        return 0;
    }
    quint16 Udp(Reach reach = Reach::Loopback) { return Pick(SOCK_DGRAM, reach); }
    quint16 Tcp() { return Pick(SOCK_STREAM); }

private:
    bool Unused(quint16 port, std::initializer_list<int> alsoFree) const {
        if (given_.contains(port)) return false;
        for (const int offset : alsoFree)
            if (given_.contains(static_cast<quint16>(port + offset))) return false;
        return true;
    }
    static int Bind(int type, Reach reach, quint16 port) {
        const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0) ::close(fd);
        return -1;
    }
    static quint16 BoundPort(int fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
        return ntohs(address.sin_port);
    }
    // Every socket stays bound until the caller closes *held, so the
    // companions cannot be given the kernel's choice by accident.
    static quint16 BindAll(int type, Reach reach, std::initializer_list<int> alsoFree,
                           std::vector<int>* held) {
        const int first = Bind(type, reach, 0);
        if (first < 0) return 0;
        held->push_back(first);
        const quint16 port = BoundPort(first);
        for (const int offset : alsoFree) {
            if (port == 0 || port + offset > 65535) return 0;
            const int fd = Bind(type, reach, static_cast<quint16>(port + offset));
            if (fd < 0) return 0;
            held->push_back(fd);
        }
        return port;
    }

    std::set<quint16> given_;
};
