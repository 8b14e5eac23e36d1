#include "net/stream/stream_hub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "codec/picture_limits.h"
#include "media/stream_format.h"
#include "net/tcp_socket.h"
#include "platform/log.h"

namespace orvel::net {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kWakeToken = 0;  // epoll data of the wake descriptor; ids start at 1
// Receives per connection and wake-up, so one busy stream cannot hold the others up.
constexpr int kReceivesPerWake = 4;

Clock::time_point after_ms(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

}  // namespace

// A host-name lookup may block for seconds: one helper thread does them, in turn. It only
// touches this shared record, so it may outlive the hub (it is detached and ends by itself).
struct StreamHub::Resolver {
    struct Request {
        StreamId id;
        std::string name;
    };
    struct Answer {
        StreamId id;
        bool ok;
        uint32_t address_be;
    };
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Request> requests;
    std::deque<Answer> answers;
    // Network thread only: the answers being handled, kept between rounds for its storage.
    std::deque<Answer> taken;
    bool stopping = false;
    bool started = false;
    int wake_fd = -1;  // the hub's; -1 once the hub is gone

    static void run(const std::shared_ptr<Resolver>& self) {
        pthread_setname_np(pthread_self(), "orvel-resolve");
        std::unique_lock lock(self->mutex);
        for (;;) {
            self->cv.wait(lock, [&] { return self->stopping || !self->requests.empty(); });
            if (self->stopping) return;
            Request r = std::move(self->requests.front());
            self->requests.pop_front();
            lock.unlock();
            uint32_t address = 0;
            const bool ok = resolve_ipv4(r.name, address) == ResolveResult::kOk;
            lock.lock();
            if (self->stopping) return;
            self->answers.push_back({r.id, ok, address});
            const uint64_t one = 1;
            if (self->wake_fd >= 0 && ::write(self->wake_fd, &one, sizeof one) < 0) {
                // The hub looks at the answers at its next wake-up anyway.
            }
        }
    }
};

struct StreamHub::Command {
    enum class Kind { open, close } kind;
    std::unique_ptr<Connection> connection;  // open
    StreamId id = 0;                         // close
    uint64_t ticket = 0;
};

struct StreamHub::Connection {
    enum class Phase {
        resolving,      // waiting for the helper thread's lookup
        connecting,     // non-blocking connect in progress
        requesting,     // sending the request
        header,         // reading the 28-byte stream header
        header_queued,  // header read; waits for a free ring entry to queue it
        streaming,      // receiving frames
        backoff,        // lost; the next attempt is due at `deadline`
        refused,        // closed for good (picture size not supported); a notice may wait
        failed,         // the first connection could not be made
        ended,          // a stream without reconnect has ended
    };

    StreamId id = 0;
    StreamTarget target;
    FrameRing* ring = nullptr;
    StreamListener* listener = nullptr;
    StreamRecorder* recorder = nullptr;

    Phase phase = Phase::backoff;
    int fd = -1;
    uint32_t watched = 0;  // epoll events registered for fd
    bool address_known = false;
    uint32_t address_be = 0;
    std::size_t request_sent = 0;
    std::array<uint8_t, media::kStreamHeaderBytes> header{};
    std::size_t header_got = 0;
    bool dual = false;
    bool streamed = false;        // a header was accepted once: later failures reconnect
    bool recorder_open = false;   // on_stream_header given, on_stream_end not yet
    bool notice_waiting = false;  // "size not supported" still to be queued
    bool reading = false;         // EPOLLIN wanted (streaming with room)
    Clock::time_point deadline = Clock::time_point::max();
};

StreamHub::StreamHub() {
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_fd_ < 0 || wake_fd_ < 0) {
        ORVEL_LOG_ERROR("stream hub: no epoll or eventfd (%s)", std::strerror(errno));
        return;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeToken;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
    resolver_ = std::make_shared<Resolver>();
    resolver_->wake_fd = wake_fd_;
    thread_ = std::thread([this] { run(); });
}

StreamHub::~StreamHub() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
        thread_.join();
    }
    if (resolver_) {
        std::lock_guard lock(resolver_->mutex);
        resolver_->stopping = true;
        resolver_->wake_fd = -1;
        resolver_->cv.notify_all();
    }
    if (wake_fd_ >= 0) ::close(wake_fd_);
    if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

void StreamHub::wake() {
    const uint64_t one = 1;
    if (::write(wake_fd_, &one, sizeof one) < 0) {
        // EAGAIN: the counter is already non-zero, so the thread wakes anyway.
    }
}

StreamId StreamHub::open(const StreamTarget& target, FrameRing& ring, StreamListener& listener,
                         StreamRecorder* recorder) {
    if (!thread_.joinable() || !ring.ok()) return 0;
    auto c = std::make_unique<Connection>();
    c->target = target;
    c->ring = &ring;
    c->listener = &listener;
    c->recorder = recorder;
    c->deadline = Clock::now();  // the first attempt starts at once
    std::lock_guard lock(mutex_);
    c->id = next_id_++;
    const StreamId id = c->id;
    commands_.push_back({Command::Kind::open, std::move(c), 0, 0});
    ++open_count_;
    wake();
    return id;
}

void StreamHub::close(StreamId id) {
    if (id == 0 || !thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    const uint64_t ticket = next_ticket_++;
    commands_.push_back({Command::Kind::close, nullptr, id, ticket});
    wake();
    done_.wait(lock, [&] { return done_ticket_ >= ticket || stopping_; });
}

void StreamHub::room_freed(StreamId id) {
    {
        std::lock_guard lock(mutex_);
        room_freed_.push_back(id);
    }
    wake();
}

void StreamHub::halt(StreamId id) {
    {
        std::lock_guard lock(mutex_);
        halted_.push_back(id);
    }
    wake();
}

int StreamHub::connection_count() const {
    std::lock_guard lock(mutex_);
    return open_count_;
}

void StreamHub::run() {
    pthread_setname_np(pthread_self(), "orvel-net");
    std::array<epoll_event, 64> events{};
    for (;;) {
        int timeout_ms = -1;
        const auto now = Clock::now();
        for (const auto& [id, c] : connections_) {
            if (c->deadline == Clock::time_point::max()) continue;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(c->deadline - now);
            const int ms = static_cast<int>(std::max<int64_t>(0, left.count()));
            timeout_ms = timeout_ms < 0 ? ms : std::min(timeout_ms, ms);
        }
        const bool gathered = frames_this_round_;
        if (gathered) {
            // Gathering: sleep on the wake descriptor alone, so a command still ends the
            // wait at once, then take every socket that became ready meanwhile.
            frames_this_round_ = false;
            const int gather_ms = timeout_ms < 0 ? kStreamGatherMs
                                                 : std::min(timeout_ms, kStreamGatherMs);
            pollfd wake_only{wake_fd_, POLLIN, 0};
            ::poll(&wake_only, 1, gather_ms);
            timeout_ms = 0;
        }
        int n = ::epoll_wait(epoll_fd_, events.data(), static_cast<int>(events.size()), timeout_ms);
        if (n == 0 && gathered) continue;  // nothing came while gathering: wait as usual
        if (n < 0 && errno != EINTR) {
            ORVEL_LOG_ERROR("stream hub: epoll_wait failed (%s)", std::strerror(errno));
            return;
        }
        for (int i = 0; i < n; ++i) {
            const uint64_t token = events[static_cast<std::size_t>(i)].data.u64;
            if (token == kWakeToken) {
                uint64_t count = 0;
                if (::read(wake_fd_, &count, sizeof count) < 0) {
                    // Nothing to read: another wake-up already drained it.
                }
                continue;
            }
            const auto it = connections_.find(token);
            if (it != connections_.end())
                handle_io(*it->second, events[static_cast<std::size_t>(i)].events);
        }
        take_commands();
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        handle_timers();
    }
    // Shutting down: every connection ends as a close would end it.
    for (auto& [id, c] : connections_) end(*c);
    connections_.clear();
    std::lock_guard lock(mutex_);
    done_ticket_ = next_ticket_;
    done_.notify_all();
}

void StreamHub::take_commands() {
    // The queues are swapped with the network thread's own, which come back empty but with
    // their storage: a wake-up allocates nothing (a new std::deque allocates at once).
    std::deque<Command>& commands = taken_commands_;
    std::vector<StreamId>& rooms = taken_rooms_;
    std::vector<StreamId>& halts = taken_halts_;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
        rooms.swap(room_freed_);
        halts.swap(halted_);
    }
    for (StreamId id : halts) {
        const auto it = connections_.find(id);
        if (it == connections_.end()) continue;
        Connection& c = *it->second;
        ORVEL_LOG_ERROR("stream %s:%d channel %d: pictures do not match the header, closed",
                        c.target.address.c_str(), c.target.port, c.target.channel);
        end(c);
        c.phase = Connection::Phase::refused;
    }
    for (StreamId id : rooms) {
        const auto it = connections_.find(id);
        if (it != connections_.end()) resume(*it->second);
    }
    halts.clear();
    rooms.clear();
    std::deque<Resolver::Answer>& answers = resolver_->taken;
    {
        std::lock_guard lock(resolver_->mutex);
        answers.swap(resolver_->answers);
    }
    for (const auto& a : answers) {
        const auto it = connections_.find(a.id);
        if (it == connections_.end() || it->second->phase != Connection::Phase::resolving) continue;
        Connection& c = *it->second;
        if (!a.ok) {
            attempt_failed(c, "address lookup failed");
            continue;
        }
        c.address_known = true;
        c.address_be = a.address_be;
        start_attempt(c);
    }
    answers.clear();
    uint64_t last_ticket = 0;
    for (Command& cmd : commands) {
        if (cmd.kind == Command::Kind::open) {
            const StreamId id = cmd.connection->id;
            ORVEL_LOG_INFO("stream %s:%d channel %d: opening",
                           cmd.connection->target.address.c_str(), cmd.connection->target.port,
                           cmd.connection->target.channel);
            connections_[id] = std::move(cmd.connection);
            start_attempt(*connections_[id]);
            continue;
        }
        const auto it = connections_.find(cmd.id);
        if (it != connections_.end()) {
            Connection& c = *it->second;
            ORVEL_LOG_INFO("stream %s:%d channel %d: closed", c.target.address.c_str(),
                           c.target.port, c.target.channel);
            end(c);
            connections_.erase(it);
            std::lock_guard lock(mutex_);
            --open_count_;
        }
        last_ticket = cmd.ticket;
    }
    commands.clear();
    if (last_ticket != 0) {
        std::lock_guard lock(mutex_);
        done_ticket_ = std::max(done_ticket_, last_ticket);
        done_.notify_all();
    }
}

void StreamHub::watch(Connection& c, uint32_t events) {
    if (c.fd < 0 || c.watched == events) return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, c.fd, &ev);
    c.watched = events;
}

void StreamHub::drop_socket(Connection& c) {
    if (c.fd >= 0) {
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, c.fd, nullptr);
        ::close(c.fd);
    }
    c.fd = -1;
    c.watched = 0;
    c.reading = false;
}

void StreamHub::end(Connection& c) {
    drop_socket(c);
    if (c.recorder_open && c.recorder != nullptr) c.recorder->on_stream_end();
    c.recorder_open = false;
    c.phase = Connection::Phase::ended;
    c.deadline = Clock::time_point::max();
}

void StreamHub::start_attempt(Connection& c) {
    c.deadline = Clock::time_point::max();
    if (!c.address_known) {
        in_addr a{};
        if (::inet_pton(AF_INET, c.target.address.c_str(), &a) == 1) {
            c.address_known = true;
            c.address_be = a.s_addr;
        } else if (c.target.address.empty()) {
            attempt_failed(c, "no address");
            return;
        } else {
            c.phase = Connection::Phase::resolving;
            std::lock_guard lock(resolver_->mutex);
            resolver_->requests.push_back({c.id, c.target.address});
            if (!resolver_->started) {
                resolver_->started = true;
                std::thread([r = resolver_] { Resolver::run(r); }).detach();
            }
            resolver_->cv.notify_one();
            return;
        }
    }
    if (c.target.port <= 0 || c.target.port > 65535) {
        attempt_failed(c, "port out of range");
        return;
    }
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (c.fd < 0) {
        attempt_failed(c, "socket() failed");
        return;
    }
    int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    epoll_event ev{};
    ev.events = EPOLLOUT;
    ev.data.u64 = c.id;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, c.fd, &ev);
    c.watched = EPOLLOUT;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(c.target.port));
    sa.sin_addr.s_addr = c.address_be;
    c.request_sent = 0;
    c.header_got = 0;
    if (::connect(c.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
        on_connected(c);
        return;
    }
    if (errno != EINPROGRESS) {
        attempt_failed(c, "connect failed");
        return;
    }
    c.phase = Connection::Phase::connecting;
    c.deadline = after_ms(kStreamConnectTimeoutMs);
}

void StreamHub::on_connected(Connection& c) {
    c.phase = Connection::Phase::requesting;
    send_request(c);
}

void StreamHub::send_request(Connection& c) {
    while (c.request_sent < c.target.request_bytes) {
        const ssize_t n = ::send(c.fd, c.target.request.data() + c.request_sent,
                                 c.target.request_bytes - c.request_sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            watch(c, EPOLLOUT);
            if (c.deadline == Clock::time_point::max())
                c.deadline = after_ms(kStreamHeaderTimeoutMs);
            return;
        }
        if (n <= 0) {
            attempt_failed(c, "request not sent");
            return;
        }
        c.request_sent += static_cast<std::size_t>(n);
    }
    c.phase = Connection::Phase::header;
    c.deadline = after_ms(kStreamHeaderTimeoutMs);
    watch(c, EPOLLIN);
}

void StreamHub::handle_io(Connection& c, uint32_t events) {
    using Phase = Connection::Phase;
    switch (c.phase) {
        case Phase::connecting: {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0 || (events & (EPOLLERR | EPOLLHUP)) != 0) {
                attempt_failed(c, "connect failed");
                return;
            }
            on_connected(c);
            return;
        }
        case Phase::requesting:
            send_request(c);
            return;
        case Phase::header:
            read_header(c);
            return;
        case Phase::streaming:
            // Hang-up and errors are reported even while reading is paused for want of room.
            if (!c.reading && (events & (EPOLLERR | EPOLLHUP)) != 0) {
                stream_lost(c, "connection reset");
                return;
            }
            read_frames(c);
            return;
        case Phase::header_queued:
            if ((events & (EPOLLERR | EPOLLHUP)) != 0) stream_lost(c, "connection reset");
            return;
        default:
            return;
    }
}

void StreamHub::read_header(Connection& c) {
    while (c.header_got < c.header.size()) {
        const ssize_t n = ::recv(c.fd, c.header.data() + c.header_got,
                                 c.header.size() - c.header_got, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            attempt_failed(c, "no stream header");
            return;
        }
        c.header_got += static_cast<std::size_t>(n);
    }
    const media::DvrHeader h = media::parse_stream_header(c.header.data());
    const bool unknown = h.width == 0 || h.height == 0;
    if (!unknown && !codec::picture_size_supported(h.width, h.height)) {
        // Closed for good: a reconnect would meet the same header again and again.
        ORVEL_LOG_ERROR("stream %s:%d channel %d: picture size %ux%u not supported, closed",
                        c.target.address.c_str(), c.target.port, c.target.channel, h.width,
                        h.height);
        drop_socket(c);
        c.phase = Connection::Phase::refused;
        c.deadline = Clock::time_point::max();
        c.streamed = true;
        c.notice_waiting = true;
        resume(c);
        return;
    }
    ORVEL_LOG_INFO("stream %s:%d channel %d: header %ux%u, codec marker %d",
                   c.target.address.c_str(), c.target.port, c.target.channel, h.width, h.height,
                   h.codec_marker);
    c.dual = h.codec_marker == media::kMarkerDual;
    c.streamed = true;
    c.deadline = Clock::time_point::max();
    if (c.recorder != nullptr) {
        c.recorder->on_stream_header(c.header.data());
        c.recorder_open = true;
    }
    c.phase = Connection::Phase::header_queued;
    watch(c, 0);
    resume(c);
}

void StreamHub::accept_header(Connection& c) {
    c.phase = Connection::Phase::streaming;
    c.reading = true;
    c.deadline = after_ms(kStreamStallTimeoutMs);
    watch(c, EPOLLIN);
}

void StreamHub::resume(Connection& c) {
    using Phase = Connection::Phase;
    if (c.phase == Phase::refused) {
        if (c.notice_waiting) {
            const uint8_t notice = static_cast<uint8_t>(RingNotice::size_not_supported);
            if (c.ring->push_item(RingItem::notice, &notice, 1)) {
                c.notice_waiting = false;
                c.listener->on_items_queued();
            }
        }
        return;
    }
    if (c.phase == Phase::header_queued) {
        if (!c.ring->push_item(RingItem::stream_header, c.header.data(), c.header.size())) return;
        c.listener->on_items_queued();
        accept_header(c);
        // Frames that came with the header are read below.
        read_frames(c);
        return;
    }
    if (c.phase != Phase::streaming || c.reading) return;
    const int before = c.ring->queued();
    const SplitResult r = c.ring->resume(c.dual, c.recorder);
    if (c.ring->queued() != before) c.listener->on_items_queued();
    if (r == SplitResult::kOversized) {
        stream_lost(c, "frame larger than a ring entry");
        return;
    }
    if (r == SplitResult::kFull) return;
    c.reading = true;
    c.deadline = after_ms(kStreamStallTimeoutMs);
    watch(c, EPOLLIN);
    read_frames(c);
}

void StreamHub::read_frames(Connection& c) {
    bool queued_any = false;
    for (int i = 0; i < kReceivesPerWake && c.phase == Connection::Phase::streaming; ++i) {
        const std::span<uint8_t> area = c.ring->receive_area();
        if (area.empty()) {
            // No free entry: stop reading (and the stall clock) until the pane frees one.
            c.reading = false;
            c.deadline = Clock::time_point::max();
            watch(c, 0);
            break;
        }
        const ssize_t n = ::recv(c.fd, area.data(), area.size(), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // A receive that did not fill the area emptied the socket: epoll reports what comes
        // next, so a second receive that would only say "nothing" is skipped.
        const bool drained = n > 0 && static_cast<std::size_t>(n) < area.size();
        if (n <= 0) {
            if (queued_any) c.listener->on_items_queued();
            stream_lost(c, n == 0 ? "closed by the DVR" : "receive failed");
            return;
        }
        c.deadline = after_ms(kStreamStallTimeoutMs);
        const int before = c.ring->queued();
        const SplitResult r =
            c.ring->commit_received(static_cast<std::size_t>(n), c.dual, c.recorder);
        queued_any = queued_any || c.ring->queued() != before;
        if (r == SplitResult::kOversized) {
            if (queued_any) c.listener->on_items_queued();
            stream_lost(c, "frame larger than a ring entry");
            return;
        }
        if (r == SplitResult::kFull) {
            c.reading = false;
            c.deadline = Clock::time_point::max();
            watch(c, 0);
            break;
        }
        if (drained) break;
    }
    if (queued_any) {
        frames_this_round_ = true;
        c.listener->on_items_queued();
    }
}

void StreamHub::attempt_failed(Connection& c, const char* why) {
    drop_socket(c);
    if (!c.streamed) {
        ORVEL_LOG_ERROR("stream %s:%d channel %d: open failed (%s)", c.target.address.c_str(),
                        c.target.port, c.target.channel, why);
        c.phase = Connection::Phase::failed;
        c.deadline = Clock::time_point::max();
        c.listener->on_open_failed();
        return;
    }
    // Reconnecting: every failed attempt waits one step; a host name is looked up afresh.
    c.address_known = false;
    c.phase = Connection::Phase::backoff;
    c.deadline = after_ms(kStreamReconnectStepMs);
}

void StreamHub::stream_lost(Connection& c, const char* why) {
    drop_socket(c);
    c.ring->drop_partial();
    if (c.recorder_open && c.recorder != nullptr) c.recorder->on_stream_end();
    c.recorder_open = false;
    const bool again = c.target.reconnect;
    ORVEL_LOG_WARN("stream %s:%d channel %d: lost (%s)%s", c.target.address.c_str(), c.target.port,
                   c.target.channel, why, again ? ", reconnecting" : "");
    c.listener->on_stream_lost(again);
    if (!again) {
        c.phase = Connection::Phase::ended;
        c.deadline = Clock::time_point::max();
        return;
    }
    // The first reconnect attempt follows at once, then one every 80 ms.
    c.phase = Connection::Phase::backoff;
    c.deadline = Clock::now();
}

void StreamHub::handle_timers() {
    using Phase = Connection::Phase;
    const auto now = Clock::now();
    for (auto& [id, cp] : connections_) {
        Connection& c = *cp;
        if (c.deadline > now) continue;
        switch (c.phase) {
            case Phase::backoff:
                start_attempt(c);
                break;
            case Phase::connecting:
                attempt_failed(c, "connect timed out");
                break;
            case Phase::requesting:
            case Phase::header:
                attempt_failed(c, "no stream header in time");
                break;
            case Phase::streaming:
                stream_lost(c, "silent for 10 s");
                break;
            default:
                c.deadline = Clock::time_point::max();
                break;
        }
    }
}

}  // namespace orvel::net
