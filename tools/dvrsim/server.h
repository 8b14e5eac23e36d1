// The simulated DVR's network side: a command port that answers logins, preset
// names, camera control, stream selects and recording queries, plus the stream and
// file ports (port + 1, + 2), reserved and answered by closing until those
// connections are served. One thread accepts; one thread per client serves.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scenario.h"

namespace dvrsim {

class Server {
public:
    explicit Server(Scenario scenario);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the three ports at `address` from `command_port` (0: free ephemeral
    // ports, three consecutive) and starts accepting. Caller's thread only.
    bool start(const std::string& address, int command_port, std::string& error);
    // Stops accepting, drops every client and joins every thread. Idempotent.
    void stop();

    int command_port() const { return port_; }

    // Log of every request received, one decoded line each (any thread).
    std::vector<std::string> log_lines() const;
    // Also writes each log line to this stream (stdout or a file); nullptr = none.
    void set_log_stream(std::FILE* stream) { log_stream_ = stream; }
    int clients_served() const { return clients_served_.load(); }

private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void accept_loop();
    void serve_client(Client* client, int client_id);
    void handle_request(int fd, int client_id, const std::uint8_t* msg, std::size_t length,
                        std::vector<std::uint8_t>& out);
    void send_replies(int fd, const std::vector<std::uint8_t>& replies,
                      const std::vector<std::size_t>& boundaries);
    void log(const std::string& line);
    void reap_finished_clients(bool all);

    Scenario scenario_;
    int listen_fds_[3] = {-1, -1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex clients_mutex_;
    std::list<std::unique_ptr<Client>> clients_;
    std::atomic<int> clients_served_{0};
    mutable std::mutex log_mutex_;
    std::vector<std::string> log_;
    std::FILE* log_stream_ = nullptr;
};

}  // namespace dvrsim
