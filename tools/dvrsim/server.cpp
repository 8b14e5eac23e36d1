#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "file_service.h"
#include "replies.h"

namespace dvrsim {
namespace {

constexpr int kPollStepMs = 50;
constexpr std::size_t kMaxRequestBytes = 4096;  // longer requests are refused
constexpr std::size_t kHeader = 6;
constexpr std::size_t kMaxClients = 256;  // one thread each

unsigned u16_at(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

int bind_listener(const std::string& address, int port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return error = "socket failed", -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        ::close(fd);
        return error = "bad bind address " + address, -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return error = "cannot listen on port " + std::to_string(port), -1;
    }
    return fd;
}

int bound_port(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

}  // namespace

Server::Server(Scenario scenario)
    : scenario_(std::move(scenario)), stream_config_(scenario_.stream) {
    stream_config_.camera_count = scenario_.camera_count();
    login_resets_left_ = scenario_.login_resets;
}

Server::~Server() { stop(); }

bool Server::start(const std::string& address, int command_port, std::string& error) {
    if (command_port < 0 || command_port > 65533) return error = "port out of range", false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        int first = bind_listener(address, command_port, error);
        if (first < 0) return false;
        const int base = bound_port(first);
        int second = base < 65534 ? bind_listener(address, base + 1, error) : -1;
        int third = second >= 0 ? bind_listener(address, base + 2, error) : -1;
        if (second >= 0 && third >= 0) {
            listen_fds_[0] = first;
            listen_fds_[1] = second;
            listen_fds_[2] = third;
            port_ = base;
            error.clear();
            acceptor_ = std::thread([this] { accept_loop(); });
            return true;
        }
        for (int fd : {first, second, third})
            if (fd >= 0) ::close(fd);
        if (command_port != 0) return false;  // a fixed port that is taken is an error
    }
    return error = "no three consecutive free ports", false;
}

void Server::stop() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (int& fd : listen_fds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    reap_finished_clients(true);
}

void Server::reap_finished_clients(bool all) {
    std::list<std::unique_ptr<Client>> finished;
    {
        std::lock_guard lock(clients_mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            Client& c = **it;
            if (all && c.fd >= 0) ::shutdown(c.fd, SHUT_RDWR);
            if (all || c.done) {
                finished.push_back(std::move(*it));
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined outside the lock: a client thread takes it on its way out.
    for (auto& c : finished)
        if (c->thread.joinable()) c->thread.join();
}

void Server::accept_loop() {
    int next_id = 1;
    while (!stopping_) {
        pollfd fds[3];
        for (int i = 0; i < 3; ++i) fds[i] = {listen_fds_[i], POLLIN, 0};
        if (::poll(fds, 3, kPollStepMs) <= 0) {
            reap_finished_clients(false);
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            const int fd = ::accept4(listen_fds_[i], nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            {
                std::lock_guard lock(clients_mutex_);
                if (clients_.size() >= kMaxClients) {
                    log("client refused: " + std::to_string(kMaxClients) + " already connected");
                    ::close(fd);
                    continue;
                }
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            // A client that takes no byte for this long is dropped (its thread would wait
            // in send); stream clients get longer, as a full frame ring pauses receiving, and
            // file clients longest, as a paused playback stops reading.
            timeval tv{i == 0 ? 2 : i == 1 ? 5 : 60, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            auto client = std::make_unique<Client>();
            client->fd = fd;
            Client* raw = client.get();
            const int id = next_id++;
            ++clients_served_;
            std::lock_guard lock(clients_mutex_);
            clients_.push_back(std::move(client));
            if (i == 0) {
                raw->thread = std::thread([this, raw, id] { serve_client(raw, id); });
            } else if (i == 1) {
                raw->thread = std::thread([this, raw, id] { serve_stream_client(raw, id); });
            } else {
                raw->thread = std::thread([this, raw, id] { serve_file_client(raw, id); });
            }
        }
    }
}

void Server::serve_client(Client* client, int client_id) {
    const int fd = client->fd;
    log("client " + std::to_string(client_id) + " connected");
    const auto started = std::chrono::steady_clock::now();
    const int number = ++command_clients_;
    const bool dropped = scenario_.drop_after_ms > 0 &&
                         (scenario_.drop_clients == 0 || number <= scenario_.drop_clients);
    bool deaf = false;
    std::vector<std::uint8_t> pending;
    std::vector<std::uint8_t> chunk(8192);
    std::vector<std::uint8_t> out;
    bool open = true;
    while (open && !stopping_) {
        if (dropped && std::chrono::steady_clock::now() - started >=
                           std::chrono::milliseconds(scenario_.drop_after_ms)) {
            log("client " + std::to_string(client_id) + " dropped (fault switch)");
            break;
        }
        // A deaf client's requests pile up unread until the server stops.
        pollfd p{fd, static_cast<short>(deaf ? 0 : POLLIN), 0};
        const int rc = ::poll(&p, 1, kPollStepMs);
        if (rc <= 0 || deaf) continue;
        const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n <= 0) break;
        pending.insert(pending.end(), chunk.begin(), chunk.begin() + n);
        while (pending.size() >= kHeader) {
            const std::size_t length = u16_at(&pending[4]);
            if (length < kHeader || length > kMaxRequestBytes) {
                log("client " + std::to_string(client_id) + " bad request length " +
                    std::to_string(length) + ", dropped");
                open = false;
                break;
            }
            if (pending.size() < length) break;
            if (pending[0] == 0 && login_resets_left_.fetch_sub(1) > 0) {
                log("client " + std::to_string(client_id) + " login answered by a reset (fault)");
                client->reset = true;
                open = false;
                break;
            }
            handle_request(fd, client_id, pending.data(), length, out);
            if (scenario_.deaf_after_login && pending[0] == 0 && !deaf) {
                log("client " + std::to_string(client_id) + " no longer read (fault switch)");
                deaf = true;
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
        }
    }
    log("client " + std::to_string(client_id) + " closed");
    close_client(client);
}

void Server::serve_stream_client(Client* client, int client_id) {
    const std::string who = "client " + std::to_string(client_id);
    log(who + " connected to the stream port");
    // The stream service's lines start with "stream: ".
    serve_stream_connection(client->fd, stream_config_, stream_library_, stream_board_, stopping_,
                            [this, &who](const std::string& line) { log(who + " " + line); });
    log(who + " closed");
    close_client(client);
}

void Server::serve_file_client(Client* client, int client_id) {
    const std::string who = "client " + std::to_string(client_id);
    log(who + " connected to the file port");
    // The file service's lines start with "file: ".
    serve_file_connection(client->fd, scenario_, stream_config_, stream_library_, stopping_,
                          [this, &who](const std::string& line) { log(who + " " + line); });
    log(who + " closed");
    close_client(client);
}

void Server::close_client(Client* client) {
    {
        std::lock_guard lock(clients_mutex_);
        if (client->reset) {
            // Linger 0: close() sends a reset and drops what is unsent.
            const linger hard{1, 0};
            ::setsockopt(client->fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        } else {
            ::shutdown(client->fd, SHUT_RDWR);
        }
        ::close(client->fd);
        client->fd = -1;
    }
    client->done = true;
}

void Server::handle_request(int fd, int client_id, const std::uint8_t* msg, std::size_t length,
                            std::vector<std::uint8_t>& out) {
    std::vector<std::size_t> ends;  // end offset of each reply in `out`
    RequestEffect effect;
    std::string line = answer_request(scenario_, msg, length, out, ends, &effect);
    if (effect.stream_select) {
        // Only ids of this DVR's dual-stream cameras are remembered, so a client cannot grow
        // the board without bound.
        const std::uint32_t id = effect.stream_id;
        const bool known =
            id >= stream_id_for(1) && id <= stream_id_for(stream_config_.camera_count) &&
            stream_config_.settings_for(static_cast<int>(id - stream_id_for(0))).kind ==
                StreamKind::dual;
        if (known) {
            stream_board_.select_main(effect.stream_id, effect.main_stream);
        } else {
            line += " (no dual-stream camera has this id; ignored)";
        }
    }
    log("client " + std::to_string(client_id) + ": " + line);
    if (scenario_.reply_excess_bytes > 0 && !out.empty()) {
        // Each reply is followed by bytes its length field does not count.
        const std::size_t extra = static_cast<std::size_t>(scenario_.reply_excess_bytes);
        std::vector<std::uint8_t> padded;
        std::size_t from = 0;
        for (std::size_t& end : ends) {
            padded.insert(padded.end(), out.begin() + static_cast<std::ptrdiff_t>(from),
                          out.begin() + static_cast<std::ptrdiff_t>(end));
            padded.insert(padded.end(), extra, 0);
            from = end;
            end = padded.size();
        }
        out.swap(padded);
    }
    if (!out.empty()) send_replies(fd, out, ends);
}

void Server::send_replies(int fd, const std::vector<std::uint8_t>& replies,
                          const std::vector<std::size_t>& ends) {
    auto send_range = [&](std::size_t from, std::size_t to) {
        while (from < to && !stopping_) {
            const std::size_t step =
                scenario_.split_bytes > 0
                    ? std::min<std::size_t>(static_cast<std::size_t>(scenario_.split_bytes),
                                            to - from)
                    : to - from;
            const ssize_t n = ::send(fd, replies.data() + from, step, MSG_NOSIGNAL);
            if (n <= 0) return;
            from += static_cast<std::size_t>(n);
            if (scenario_.split_bytes > 0 && from < to)
                std::this_thread::sleep_for(std::chrono::milliseconds(scenario_.split_pause_ms));
        }
    };
    if (scenario_.join_replies) {
        send_range(0, replies.size());
        return;
    }
    std::size_t from = 0;
    for (std::size_t end : ends) {
        send_range(from, end);
        from = end;
        // Separate replies leave in separate segments, as a DVR writes them one by one.
        if (scenario_.split_bytes == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Server::log(const std::string& line) {
    std::lock_guard lock(log_mutex_);
    log_.push_back(line);
    if (log_.size() > 100000) log_.erase(log_.begin(), log_.begin() + 50000);
    if (log_stream_) {
        std::fprintf(log_stream_, "%s\n", line.c_str());
        std::fflush(log_stream_);
    }
}

std::vector<std::string> Server::log_lines() const {
    std::lock_guard lock(log_mutex_);
    return log_;
}

}  // namespace dvrsim
