#include "net/stream/stream_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/tcp_socket.h"

namespace orvel::net {
namespace {

constexpr int kConnectPollStepMs = 40;

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int stream_connect(const std::string& address, int port, const std::atomic<uint8_t>* keep_going) {
    if (port <= 0 || port > 65535) return -1;
    uint32_t address_be = 0;
    if (resolve_ipv4(address, address_be) != ResolveResult::kOk) return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = address_be;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINPROGRESS) {
        rc = -1;
        const int64_t deadline = now_ms() + kStreamConnectTimeoutMs;
        while (now_ms() < deadline) {
            if (keep_going != nullptr && !keep_going->load()) break;
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, kConnectPollStepMs);
            if (ready < 0 && errno != EINTR) break;
            if (ready == 1) {
                int err = 0;
                socklen_t len = sizeof err;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                rc = err == 0 ? 0 : -1;
                break;
            }
        }
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    // Blocking from here on, with bounded sends and a stall bound on receives.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) & ~O_NONBLOCK);
    timeval send_tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_tv, sizeof send_tv);
    timeval recv_tv{kStreamStallTimeoutMs / 1000, (kStreamStallTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &recv_tv, sizeof recv_tv);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool stream_send(int fd, const uint8_t* bytes, size_t length) {
    if (fd < 0) return false;
    const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(length);
}

size_t stream_receive_exact(int fd, uint8_t* into, size_t length, int timeout_ms) {
    if (fd < 0) return 0;
    size_t got = 0;
    const int64_t deadline = now_ms() + timeout_ms;
    while (got < length) {
        const int64_t left = deadline - now_ms();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::recv(fd, into + got, length - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

long stream_receive_some(int fd, uint8_t* into, size_t length) {
    if (fd < 0 || length == 0) return 0;
    for (;;) {
        const ssize_t n = ::recv(fd, into, length, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

void stream_shutdown(int fd) {
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void stream_close(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace orvel::net
