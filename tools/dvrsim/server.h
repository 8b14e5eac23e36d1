// The simulated DVR's network side: a command port (port) that answers logins, preset
// names, camera control, stream selects and recording queries; a stream port (port + 1)
// that sends each connection the live stream of the camera it asks for; and the file port
// (port + 2) that streams the scenario's recordings. One thread accepts; one thread per
// client (of any port) serves.
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
    // Stops accepting, drops every client of every port and joins every thread; returns
    // within a few poll steps (a stream loop still being encoded on first use delays it).
    // Caller's thread only. Idempotent.
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
        bool reset = false;  // close with a reset (RST) instead of an orderly end
    };

    void accept_loop();
    // Client threads. Each closes its descriptor (under clients_mutex_) and sets `done`.
    void serve_client(Client* client, int client_id);
    void serve_stream_client(Client* client, int client_id);
    void serve_file_client(Client* client, int client_id);
    void close_client(Client* client);
    void handle_request(int fd, int client_id, const std::uint8_t* msg, std::size_t length,
                        std::vector<std::uint8_t>& out);
    void send_replies(int fd, const std::vector<std::uint8_t>& replies,
                      const std::vector<std::size_t>& boundaries);
    void log(const std::string& line);
    void reap_finished_clients(bool all);

    Scenario scenario_;
    // Stream side: the scenario's stream settings with its camera count, the loops encoded
    // for them (which refer to stream_config_) and the dual cameras' main-stream selects.
    StreamConfig stream_config_;
    StreamLibrary stream_library_{stream_config_};
    StreamSelectBoard stream_board_;
    int listen_fds_[3] = {-1, -1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex clients_mutex_;
    std::list<std::unique_ptr<Client>> clients_;
    std::atomic<int> clients_served_{0};
    std::atomic<int> login_resets_left_{0};
    std::atomic<int> command_clients_{0};  // command clients accepted so far
    mutable std::mutex log_mutex_;
    std::vector<std::string> log_;
    std::FILE* log_stream_ = nullptr;
};

}  // namespace dvrsim
