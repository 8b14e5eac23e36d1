#pragma once
// An address on loopback that never answers a connect: a listening socket with a backlog of
// 0 whose one queued connection is never accepted. With its accept queue full the system
// drops every further SYN, so a connect to it waits until the connecting side gives up.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace orvel::test {

class Blackhole {
public:
    Blackhole() {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), len) != 0 ||
            ::listen(listen_fd_, 0) != 0 ||
            ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return;
        port_ = ntohs(sa.sin_port);
        // Fills the queue: this connect completes (the queue had room) and is never accepted.
        filler_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (filler_fd_ < 0 || ::connect(filler_fd_, reinterpret_cast<sockaddr*>(&sa), len) != 0)
            port_ = 0;
    }
    ~Blackhole() {
        if (filler_fd_ >= 0) ::close(filler_fd_);
        if (listen_fd_ >= 0) ::close(listen_fd_);
    }
    Blackhole(const Blackhole&) = delete;
    Blackhole& operator=(const Blackhole&) = delete;

    // 0 when the socket could not be set up.
    int port() const { return port_; }

private:
    int listen_fd_ = -1;
    int filler_fd_ = -1;
    int port_ = 0;
};

}  // namespace orvel::test
