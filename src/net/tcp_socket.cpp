#include "net/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace orvel::net {

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

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
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) {
        close();
        return false;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Requests are a few bytes each: a small send buffer holds hundreds of them, and a DVR
    // that stopped reading is noticed before a backlog of stale camera commands builds up.
    int bytes = kSendBufferBytes;
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    return true;
}

ConnectResult TcpSocket::connect_to(std::uint32_t address_be, int port, int timeout_ms,
                                    int& error) {
    error = 0;
    if (fd_ < 0 || port <= 0 || port > 65535) {
        error = EINVAL;
        return ConnectResult::kFailed;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = address_be;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
        return ConnectResult::kConnected;
    if (errno != EINPROGRESS) {
        error = errno;
        return ConnectResult::kFailed;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pollfd p[2] = {{fd_, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
        const int rc = ::poll(p, 2, ms_left(deadline));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) {
            error = errno;
            return ConnectResult::kFailed;
        }
        if (p[1].revents != 0) return ConnectResult::kCancelled;
        if (rc == 0) {
            error = ETIMEDOUT;
            return ConnectResult::kFailed;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
        error = err;
        return err == 0 ? ConnectResult::kConnected : ConnectResult::kFailed;
    }
}

bool TcpSocket::send_exact(std::span<const std::uint8_t> bytes, int bound_ms) {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bound_ms);
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int left = ms_left(deadline);
            if (left == 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) return false;
            continue;
        }
        return false;
    }
    return true;
}

long TcpSocket::receive(std::span<std::uint8_t> into) {
    if (fd_ < 0) return 0;
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        const int rc = ::poll(p, 2, -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (p[1].revents != 0) return 0;
        const ssize_t n = ::recv(fd_, into.data(), into.size(), MSG_DONTWAIT);
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return 0;
    }
}

void TcpSocket::cancel() {
    if (wake_fd_ >= 0) {
        const std::uint64_t one = 1;
        // Cannot fail short of an overflowing counter; a failed write leaves it readable.
        [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
    }
}

void TcpSocket::shutdown_both() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (wake_fd_ >= 0) {
        ::close(wake_fd_);
        wake_fd_ = -1;
    }
}

}  // namespace orvel::net
