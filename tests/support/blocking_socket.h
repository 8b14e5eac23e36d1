#pragma once
// Plain blocking loopback sockets for tests that talk to the simulator's ports directly
// (the program itself uses the non-blocking stream hub). Every wait is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvel::test {

// Connects to `address`:`port` (dotted IPv4); the descriptor, or -1.
inline int socket_connect(const std::string& address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool socket_send(int fd, const uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// Receives until `length` bytes arrived, the peer closed, or `timeout_ms` passed in all.
inline std::size_t socket_receive_exact(int fd, uint8_t* into, std::size_t length, int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t got = 0;
    while (got < length) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        const ssize_t n = ::recv(fd, into + got, length - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

inline void socket_close(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace orvel::test
