// IPv4 TCP client socket on POSIX sockets for the command connections.
//
// Every wait on the peer ends on its own: the connect after a bound, a receive when data
// arrives, the peer closes or `cancel` is called from another thread (a wake-up
// descriptor polled beside the socket, so no wait needs a polling step), and a send after
// a short bound (the socket is non-blocking, so a peer that stopped reading cannot hold
// the sending thread).
//
// Threads: one thread connects and receives (the connection's own thread); one other
// thread sends (the UI thread). `cancel` and `shutdown_both` may be called from any thread
// while the socket is open. `create` and `close` only while no other thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orvel::net {

enum class ResolveResult { kOk, kFailed };

// Dotted IPv4 first, then a host-name lookup (IPv4 only; may wait on the name service).
// Address in network order.
ResolveResult resolve_ipv4(const std::string& host, std::uint32_t& address_be);

enum class ConnectResult { kConnected, kFailed, kCancelled };

class TcpSocket {
public:
    static constexpr int kConnectTimeoutMs = 5000;
    // A request is a few bytes; the send buffer has room unless the peer stopped reading.
    static constexpr int kSendBoundMs = 50;
    static constexpr int kSendBufferBytes = 16384;

    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Creates the socket and its wake-up descriptor. False when the system refuses
    // ("socket() failed;").
    bool create();
    // Connects to an address in network order; waits at most `timeout_ms`, or until
    // `cancel`. On kFailed, `error` is the errno (ETIMEDOUT for the bound).
    ConnectResult connect_to(std::uint32_t address_be, int port, int timeout_ms, int& error);

    // Sends all bytes, waiting at most `bound_ms` for room in the send buffer. True only
    // when every byte went out; false leaves the byte stream broken (the connection is lost).
    bool send_exact(std::span<const std::uint8_t> bytes, int bound_ms = kSendBoundMs);

    // Waits for data without a time limit. Returns bytes read (> 0), or 0 when the peer
    // closed, the socket failed or `cancel` was called.
    long receive(std::span<std::uint8_t> into);

    // Ends a wait in connect_to or receive, now and for every later call. Thread: any.
    void cancel();
    // Tells the peer the connection ends. Thread: any.
    void shutdown_both();
    void close();
    bool is_open() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    int wake_fd_ = -1;  // eventfd: readable once cancel was called
};

}  // namespace orvel::net
