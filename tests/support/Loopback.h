// Loopback addresses for the tests' own peers and clients: every one of them lives on 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// 127.0.0.1 at port; port 0 lets the kernel choose one at bind.
inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Binds fd to a loopback port of the kernel's choice and returns that port, or 0 on failure.
inline uint16_t BindToLoopback(int fd) {
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

// A loopback port nothing listens on right now (an ephemeral port the kernel just handed out),
// or 0.
inline uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    const uint16_t port = BindToLoopback(fd);
    ::close(fd);
    return port;
}
