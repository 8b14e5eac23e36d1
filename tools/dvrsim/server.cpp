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

namespace dvrsim {
namespace {

constexpr int kPollStepMs = 50;
constexpr std::size_t kMaxRequestBytes = 4096;  // longer requests are refused
constexpr std::size_t kHeader = 6;

// Reply encoding is written out here on its own, byte by byte, so that a layout
// mistake shared with the client's parser cannot hide.
void put8(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
}
void put16(std::vector<std::uint8_t>& out, unsigned v) {
    put8(out, v & 0xFF);
    put8(out, (v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        put8(out, i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}
// Starts a reply; returns the offset of its length field for finish_reply.
std::size_t begin_reply(std::vector<std::uint8_t>& out, unsigned type, unsigned code,
                        unsigned param) {
    put8(out, type);
    put8(out, code);
    put16(out, param);
    const std::size_t at = out.size();
    put16(out, 0);
    return at;
}
void finish_reply(std::vector<std::uint8_t>& out, std::size_t length_at, std::size_t start) {
    const std::size_t length = out.size() - start;
    out[length_at] = static_cast<std::uint8_t>(length & 0xFF);
    out[length_at + 1] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
}

unsigned u16_at(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

std::string bounded_text(const std::uint8_t* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && p[i]; ++i) s.push_back(static_cast<char>(p[i]));
    return s;
}

// Printable form of untrusted text for the log.
std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

bool parse_query_date(const std::string& text, int& y, int& m, int& d) {
    if (text.size() != 8 || text[2] != '-' || text[5] != '-') return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (text[static_cast<std::size_t>(i)] < '0' || text[static_cast<std::size_t>(i)] > '9')
            return false;
    y = 2000 + std::stoi(text.substr(0, 2));
    m = std::stoi(text.substr(3, 2));
    d = std::stoi(text.substr(6, 2));
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

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

Server::Server(Scenario scenario) : scenario_(std::move(scenario)) {}

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
            if (i != 0) {
                // Stream and file connections are not served yet.
                log("port+" + std::to_string(i) + " connection refused (not served)");
                ::close(fd);
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            timeval tv{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            auto client = std::make_unique<Client>();
            client->fd = fd;
            Client* raw = client.get();
            const int id = next_id++;
            ++clients_served_;
            std::lock_guard lock(clients_mutex_);
            clients_.push_back(std::move(client));
            raw->thread = std::thread([this, raw, id] { serve_client(raw, id); });
        }
    }
}

void Server::serve_client(Client* client, int client_id) {
    const int fd = client->fd;
    log("client " + std::to_string(client_id) + " connected");
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> pending;
    std::vector<std::uint8_t> chunk(8192);
    std::vector<std::uint8_t> out;
    bool open = true;
    while (open && !stopping_) {
        if (scenario_.drop_after_ms > 0 && std::chrono::steady_clock::now() - started >=
                                               std::chrono::milliseconds(scenario_.drop_after_ms)) {
            log("client " + std::to_string(client_id) + " dropped (fault switch)");
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, kPollStepMs);
        if (rc <= 0) continue;
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
            handle_request(fd, client_id, pending.data(), length, out);
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    log("client " + std::to_string(client_id) + " closed");
    {
        std::lock_guard lock(clients_mutex_);
        ::close(fd);
        client->fd = -1;
    }
    client->done = true;
}

void Server::handle_request(int fd, int client_id, const std::uint8_t* msg, std::size_t length,
                            std::vector<std::uint8_t>& out) {
    const unsigned type = msg[0], code = msg[1], param = u16_at(msg + 2);
    const std::string who = "client " + std::to_string(client_id) + ": ";
    out.clear();
    std::vector<std::size_t> ends;  // end offset of each reply in `out`
    auto end_reply = [&](std::size_t length_at, std::size_t start) {
        finish_reply(out, length_at, start);
        ends.push_back(out.size());
    };

    if (type == 0 && code == 11 && length >= 22) {
        const std::string user = bounded_text(msg + 6, 8), password = bounded_text(msg + 14, 8);
        bool ok = false;
        for (const auto& [u, p] : scenario_.users)
            if (u.substr(0, 8) == user && p.substr(0, 8) == password) ok = true;
        log(who + "login user=" + printable(user) + " password=" + printable(password) +
            (ok ? " accepted" : " rejected"));
        std::size_t start = out.size();
        std::size_t at = begin_reply(out, 0, 0, 0);
        put8(out, static_cast<unsigned>(scenario_.device) & 0xFF);
        put8(out, static_cast<unsigned>(scenario_.switch_count) & 0xFF);
        put8(out, ok ? 1 : 0);
        if (ok) {
            const int n = std::min(scenario_.camera_count(), 1800);  // a reply holds < 64 KiB
            for (int i = 1; i <= n; ++i) {
                auto it = scenario_.camera_names.find(i);
                put_text(out, it == scenario_.camera_names.end() ? std::string() : it->second, 36);
            }
            if (scenario_.send_mask) {
                put8(out, 2);
                put32(out, scenario_.camera_mask);
            } else if (scenario_.tag_byte >= 0) {
                put8(out, static_cast<unsigned>(scenario_.tag_byte));
            }
        }
        end_reply(at, start);
        if (ok) {
            for (const auto& [camera, names] : scenario_.presets) {
                start = out.size();
                at = begin_reply(out, 1, 0, static_cast<unsigned>(camera - 1));
                for (int slot = 0; slot < 16; ++slot)
                    put_text(out,
                             slot < static_cast<int>(names.size())
                                 ? names[static_cast<std::size_t>(slot)]
                                 : "",
                             28);
                end_reply(at, start);
            }
        }
    } else if (type == 6) {
        log(who + "check");
    } else if (type == 1) {
        log(who + "control code=" + std::to_string(code) +
            " camera=" + std::to_string(param % 100) + " sub=" + std::to_string(param / 100));
    } else if (type == 7 || (type == 5 && code == 11)) {
        const std::string date =
            std::string(reinterpret_cast<const char*>(msg + kHeader), length - kHeader);
        int y = 0, m = 0, d = 0;
        const bool valid = parse_query_date(date, y, m, d);
        if (type == 7) {
            log(who + "recording-days date=" + printable(date) +
                (valid ? "" : " (bad date, ignored)"));
            if (valid) {
                const std::size_t start = out.size();
                const std::size_t at = begin_reply(out, 7, 0, 0);
                for (int back = 2; back >= 0; --back) {
                    int mm = m - back, yy = y;
                    if (mm < 1) {
                        mm += 12;
                        --yy;
                    }
                    put32(out, scenario_.month_mask(yy, mm));
                }
                end_reply(at, start);
            }
        } else {
            log(who + "day-index camera=" + std::to_string(param) + " date=" + printable(date) +
                (valid ? "" : " (bad date, ignored)"));
            if (valid) {
                std::vector<SimRecording> day;
                for (const auto& r : scenario_.recordings)
                    if (r.camera == static_cast<int>(param) && r.year == y && r.month == m &&
                        r.day == d)
                        day.push_back(r);
                const std::size_t start = out.size();
                const std::size_t at = begin_reply(out, 5, 0, param);
                char drive = 0;
                for (const auto& r : day) {
                    if (out.size() - start + 9 > 65535) break;
                    if (r.drive != drive)
                        put8(out,
                             static_cast<unsigned char>(r.drive));  // first entry always lettered
                    drive = r.drive;
                    put8(out, static_cast<unsigned>(r.hour));
                    put8(out, static_cast<unsigned>(r.minute));
                    put8(out, static_cast<unsigned>(r.second));
                    put8(out, static_cast<unsigned>(r.kind));
                    put16(out, static_cast<unsigned>(r.length_s));
                    put16(out, 0);
                }
                end_reply(at, start);
            }
        }
    } else if ((type == 60 || type == 61) && length >= 10) {
        const std::uint32_t id =
            u16_at(msg + 6) | (static_cast<std::uint32_t>(u16_at(msg + 8)) << 16);
        log(who + "stream-select " + (type == 60 ? "main" : "sub") + " id=" + std::to_string(id));
    } else {
        log(who + "unknown type=" + std::to_string(type) + " code=" + std::to_string(code) +
            " param=" + std::to_string(param) + " length=" + std::to_string(length));
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
