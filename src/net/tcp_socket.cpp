#include "net/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvel::net {

ResolveResult resolve_ipv4(const std::string& host, std::uint32_t& address_be) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) {
        address_be = a.s_addr;
        return ResolveResult::kOk;
    }
    if (host.empty()) return ResolveResult::kFailed;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return ResolveResult::kFailed;
    address_be = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return ResolveResult::kOk;
}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::create() {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool TcpSocket::connect_to(std::uint32_t address_be, int port) {
    if (fd_ < 0 || port <= 0 || port > 65535) return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = address_be;
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd_, POLLOUT, 0};
        rc = ::poll(&p, 1, kConnectTimeoutMs);
        if (rc == 1) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
            rc = err == 0 ? 0 : -1;
        } else {
            rc = -1;
        }
    }
    ::fcntl(fd_, F_SETFL, flags);
    return rc == 0;
}

bool TcpSocket::send_exact(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return false;
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(bytes.size());
}

long TcpSocket::receive(std::span<std::uint8_t> into, int wait_ms) {
    if (fd_ < 0) return 0;
    pollfd p{fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, wait_ms);
    if (rc == 0) return -1;
    if (rc < 0) return errno == EINTR ? -1 : 0;
    const ssize_t n = ::recv(fd_, into.data(), into.size(), 0);
    if (n < 0) return (errno == EINTR || errno == EAGAIN) ? -1 : 0;
    return static_cast<long>(n);
}

void TcpSocket::shutdown_both() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace orvel::net
