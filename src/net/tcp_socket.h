// Blocking IPv4 TCP client socket on POSIX sockets. Every wait on the peer is
// bounded: connect and send by a timeout, receive by a short poll step so that a
// reader can check its stop flag. One owner at a time; `shutdown_both` may be
// called from another thread to wake a blocked reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orvel::net {

enum class ResolveResult { kOk, kFailed };

// Dotted IPv4 first, then a host-name lookup (IPv4 only). Address in network order.
ResolveResult resolve_ipv4(const std::string& host, std::uint32_t& address_be);

class TcpSocket {
public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kSendTimeoutMs = 5000;

    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Creates the socket. False when the system refuses ("socket() failed;").
    bool create();
    // Connects to an address in network order; bounded by kConnectTimeoutMs.
    bool connect_to(std::uint32_t address_be, int port);

    // Sends all bytes with one send call; true only when every byte went out.
    bool send_exact(std::span<const std::uint8_t> bytes);

    // Waits at most `wait_ms` for data. Returns bytes read (> 0), 0 when the peer
    // closed or the socket failed, -1 when nothing arrived in time.
    long receive(std::span<std::uint8_t> into, int wait_ms);

    // Wakes any thread blocked in receive on this socket (any thread).
    void shutdown_both();
    void close();
    bool is_open() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace orvel::net
