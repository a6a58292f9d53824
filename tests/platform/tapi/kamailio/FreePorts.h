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
            // Every socket stays bound until all are, so the companions cannot
            // be given the kernel's choice by accident.
            std::vector<int> held;
            const int first = Bind(type, reach, 0, held);
            sockaddr_in address{};
            socklen_t size = sizeof address;
            const quint16 port = first >= 0 && ::getsockname(first, (sockaddr*)&address, &size) == 0
                                     ? ntohs(address.sin_port)
                                     : 0;
            std::vector<quint16> ports{port};
            for (const int offset : alsoFree) ports.push_back(quint16(port + offset));
            bool ok = port != 0 && !given_.contains(port);
            for (std::size_t i = 1; ok && i < ports.size(); ++i)
                ok = ports[i] > port && !given_.contains(ports[i]) &&
                     Bind(type, reach, ports[i], held) >= 0;
            for (const int fd : held) ::close(fd);
            if (ok) {
                given_.insert(ports.begin(), ports.end());
                return port;
            }
        }
        return 0;
    }
    quint16 Udp(Reach reach = Reach::Loopback) { return Pick(SOCK_DGRAM, reach); }
    quint16 Tcp() { return Pick(SOCK_STREAM); }

private:
    static int Bind(int type, Reach reach, quint16 port, std::vector<int>& held) {
        const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
        if (fd >= 0) held.push_back(fd);
        return fd >= 0 && ::bind(fd, (sockaddr*)&address, sizeof address) == 0 ? fd : -1;
    }

    std::set<quint16> given_;
};
