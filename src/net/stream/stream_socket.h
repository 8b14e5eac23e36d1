#pragma once
// Socket steps of a stream connection on a plain descriptor, so that the UI thread can shut
// the connection down (waking a blocked receive) while the receiving thread owns and closes it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvel::net {

// A DVR that sends nothing for this long is treated as a lost connection (reconnect).
inline constexpr int kStreamStallTimeoutMs = 10'000;
// Bound of a connect attempt and of the wait for the stream header.
inline constexpr int kStreamConnectTimeoutMs = 3'000;
inline constexpr int kStreamHeaderTimeoutMs = 5'000;

// Creates a TCP socket, resolves `address` (dotted IPv4 first, then a name lookup) and
// connects to `port`; the connect is abandoned when `keep_going` becomes false. Returns the
// descriptor, or -1. Any thread.
int stream_connect(const std::string& address, int port, const std::atomic<uint8_t>* keep_going);

// Sends all of `bytes` with one send; true when every byte went out.
bool stream_send(int fd, const uint8_t* bytes, size_t length);

// Receives until `length` bytes have arrived, the peer closes, an error occurs or
// `timeout_ms` passes in total. Returns the bytes received.
size_t stream_receive_exact(int fd, uint8_t* into, size_t length, int timeout_ms);

// One receive of at most `length` bytes; > 0 bytes, or <= 0 when the connection is lost
// (closed, failed, shut down, or silent for kStreamStallTimeoutMs).
long stream_receive_some(int fd, uint8_t* into, size_t length);

// Wakes a thread blocked on `fd` (any thread). The descriptor stays open.
void stream_shutdown(int fd);
// Closes the descriptor (only its owner).
void stream_close(int fd);

}  // namespace orvel::net
