#pragma once
// Every stream connection of the program (live cameras now, recordings from a DVR's disk next)
// served by one network thread.
//
// The thread waits on epoll for all sockets at once and never blocks on a peer: connects are
// non-blocking and bounded (3 s), the request is sent and the 28-byte stream header read as
// their bytes come (bounded by 5 s), frames are received straight into the pane's FrameRing
// and cut there. A stream that is silent for 10 s counts as lost. A lost live stream is
// connected again at once and then every 80 ms until it answers; a stream whose header
// announces a picture size beyond the program's limit is closed for good (no reconnect), after
// a notice is queued for its pane. Host names are looked up on a helper thread, so a slow name
// service never holds the other streams up.
//
// Whatever a connection does it reports to its StreamListener and, frame by frame, to its
// optional StreamRecorder, always on the network thread.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "net/stream/frame_ring.h"
#include "net/stream/stream_recorder.h"
#include "net/stream/stream_request.h"

namespace orvel::net {

// Bounds of one connection attempt and of a silent stream.
inline constexpr int kStreamConnectTimeoutMs = 3'000;
inline constexpr int kStreamHeaderTimeoutMs = 5'000;
inline constexpr int kStreamStallTimeoutMs = 10'000;
inline constexpr int kStreamReconnectStepMs = 80;
// After a round that received frames, the network thread lets this long pass (unless a
// command arrives) before it looks at the sockets again, so that the frames of many cameras
// are taken, and their panes woken, in one round rather than one wake-up chain per frame.
// It bounds the latency it adds; at 36 cameras of 25 frames/s a round takes about 5 frames.
inline constexpr int kStreamGatherMs = 5;

struct StreamTarget {
    std::string address;  // dotted IPv4 or a host name
    int port = 0;
    std::array<uint8_t, kFileRequestBytes> request{};  // sent after every connect
    std::size_t request_bytes = 0;
    bool reconnect = true;  // after a loss: connect again (live); otherwise the stream ends
    int channel = 0;        // named in the log
};

// Events of one connection, on the network thread. Never called again once
// StreamHub::close() has returned.
class StreamListener {
public:
    virtual ~StreamListener() = default;
    // Items were queued in the ring (frames, a stream header or a notice).
    virtual void on_items_queued() = 0;
    // The first connection could not be made (lookup, connect, request or header). The
    // connection then does nothing more until it is closed.
    virtual void on_open_failed() = 0;
    // The stream ended; `reconnecting` when the hub connects again by itself.
    virtual void on_stream_lost(bool reconnecting) { (void)reconnecting; }
};

using StreamId = uint64_t;  // 0: none

class StreamHub {
public:
    // Starts the network thread. Thread: UI thread.
    StreamHub();
    // Closes every connection and joins the network thread. Thread: UI thread.
    ~StreamHub();
    StreamHub(const StreamHub&) = delete;
    StreamHub& operator=(const StreamHub&) = delete;

    // Starts connecting to `target` and returns at once. `ring`, `listener` and `recorder`
    // (may be null) must stay valid until close() has returned. Returns 0 when the hub could
    // not be used (no network thread). Thread: any but the network thread.
    StreamId open(const StreamTarget& target, FrameRing& ring, StreamListener& listener,
                  StreamRecorder* recorder = nullptr);
    // Ends the connection: socket closed, recorder finished. Once it returns, the hub no
    // longer touches the ring, the listener or the recorder. Waits only for the network
    // thread, which never blocks. Thread: any but the network thread.
    void close(StreamId id);
    // Consumer side: entries were freed while the connection waited for room (FrameRing::pop
    // returned true). Thread: any.
    void room_freed(StreamId id);
    // Ends the stream for good without reconnecting (its pane found the pictures unusable);
    // the connection stays until close(). Thread: any.
    void halt(StreamId id);
    // Connections open now. Thread: any.
    int connection_count() const;

private:
    struct Connection;
    struct Command;
    struct Resolver;

    void run();
    void wake();
    void take_commands();
    void handle_io(Connection& c, uint32_t events);
    void handle_timers();
    void start_attempt(Connection& c);
    void on_connected(Connection& c);
    void send_request(Connection& c);
    void read_header(Connection& c);
    void accept_header(Connection& c);
    void read_frames(Connection& c);
    void resume(Connection& c);
    void attempt_failed(Connection& c, const char* why);
    void stream_lost(Connection& c, const char* why);
    void drop_socket(Connection& c);
    void watch(Connection& c, uint32_t events);
    void end(Connection& c);

    int epoll_fd_ = -1;
    int wake_fd_ = -1;
    std::thread thread_;
    std::shared_ptr<Resolver> resolver_;

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::deque<Command> commands_;
    std::vector<StreamId> room_freed_;
    std::vector<StreamId> halted_;
    uint64_t next_ticket_ = 1;
    uint64_t done_ticket_ = 0;
    StreamId next_id_ = 1;
    bool stopping_ = false;
    int open_count_ = 0;

    // Network thread only.
    std::unordered_map<StreamId, std::unique_ptr<Connection>> connections_;
    std::deque<Command> taken_commands_;  // swapped with the queues above at each wake-up
    bool frames_this_round_ = false;      // a socket gave frames since the last gather
    std::vector<StreamId> taken_rooms_;
    std::vector<StreamId> taken_halts_;
};

}  // namespace orvel::net
