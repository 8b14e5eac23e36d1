#pragma once
// A stream port on loopback served by the simulator's stream service, and renderer fakes
// that count what the display threads hand them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pane/pipeline_env.h"
#include "stream/stream_service.h"
#include "view/panes.h"
#include "view/render/renderer_port.h"

namespace orvel::test {

class LoopbackStreamServer {
public:
    explicit LoopbackStreamServer(dvrsim::StreamConfig config)
        : config_(std::move(config)), library_(config_) {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t len = sizeof sa;
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        ::listen(listen_fd_, 64);
        acceptor_ = std::thread([this] { accept_loop(); });
    }
    ~LoopbackStreamServer() {
        stopping_ = true;
        ::shutdown(listen_fd_, SHUT_RDWR);
        acceptor_.join();
        ::close(listen_fd_);
        std::lock_guard lock(mutex_);
        for (auto& c : clients_) {
            ::shutdown(c.fd, SHUT_RDWR);
            c.thread.join();
            ::close(c.fd);
        }
    }
    int port() const { return port_; }
    // Encodes a camera's loop now, so a connection does not wait for it (slow in sanitizer
    // builds, longer than a client waits for a stream header).
    void warm(int camera) {
        std::string error;
        const dvrsim::StreamSettings& s = config_.settings_for(camera);
        library_.video(camera, s.kind, s.width, s.height, error);
    }
    int connections() const { return connections_.load(); }
    dvrsim::StreamSelectBoard& board() { return board_; }
    dvrsim::StreamConfig& config() { return config_; }
    // When set, a connection the service has finished with stays open until the client closes
    // it, so a reconnect can only be the client's own decision.
    std::atomic<bool> hold_open{false};

private:
    struct Client {
        int fd;
        std::thread thread;
    };
    void accept_loop() {
        while (!stopping_) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            connections_.fetch_add(1);
            std::lock_guard lock(mutex_);
            clients_.push_back({fd, std::thread([this, fd] {
                                    dvrsim::serve_stream_connection(fd, config_, library_, board_,
                                                                    stopping_,
                                                                    [](const std::string&) {});
                                    // Held open: only the client (or the server's end) closes.
                                    char byte;
                                    while (hold_open && ::recv(fd, &byte, 1, 0) > 0) {
                                    }
                                    ::shutdown(fd, SHUT_RDWR);
                                })});
        }
    }
    dvrsim::StreamConfig config_;
    dvrsim::StreamLibrary library_;
    dvrsim::StreamSelectBoard board_;
    std::atomic<bool> stopping_{false};
    int listen_fd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<Client> clients_;
    std::atomic<int> connections_{0};
};

// Counts draws per pane and remembers the last picture's luma spread (moving content). The
// pipelines hand pictures over both ways: decoded into a buffer this fake lends
// (begin/commit), or copied (draw_pane).
class CountingRenderer : public view::GpuRenderer, public view::SoftwareBlitter {
public:
    std::atomic<int> pane_draws{0}, high_res_draws{0}, blits{0}, surfaces{0};
    std::atomic<int> last_width{0}, last_height{0};
    std::atomic<int> last_luma_range{0};
    // The software path's last picture: the time to draw over it, and its pure white pixels
    // in the corner the burnt-in stamp takes (the last 136 x 10).
    std::atomic<uint32_t> last_overlay_time{0};
    std::atomic<int> last_corner_white{0};
    std::array<std::atomic<int>, 36> draws_per_pane{};
    std::array<std::atomic<int>, 36> surface_width{}, surface_height{};

    bool renderer_create() override { return true; }
    void renderer_release() override {}
    bool renderer_build_panes(int, const platform::Rect*) override { return true; }
    bool toggle_pane_full_view(int) override { return true; }
    bool pane_full_view() const override { return false; }
    int current_pane() const override { return 0; }
    void set_device_window(bool) override {}
    void set_pane_picture_size(int w, int h, int pane) override {
        last_width = w == 0 || h == 0 ? 352 : w;
        last_height = w == 0 || h == 0 ? 288 : h;
        if (pane >= 0 && pane < 36) {
            surface_width[static_cast<size_t>(pane)] = last_width.load();
            surface_height[static_cast<size_t>(pane)] = last_height.load();
        }
    }
    bool create_pane_surface(int) override {
        surfaces.fetch_add(1);
        return true;
    }
    void use_narrow_high_res(bool) override {}
    void draw_pane(const uint8_t* yuy2, int pane, std::string_view, bool,
                   view::ReceivedAtNs) override {
        count(yuy2, pane, last_width.load() * last_height.load());
    }
    uint8_t* begin_pane_picture(int pane, int width, int height) override {
        if (pane < 0 || pane >= 36) return nullptr;
        const size_t i = static_cast<size_t>(pane);
        // Only pictures of the announced size, as a real surface would take them.
        if (width != surface_width[i].load() || height != surface_height[i].load()) return nullptr;
        lent[i].assign(static_cast<size_t>(width) * height * 2, 0);
        return lent[i].data();
    }
    void commit_pane_picture(int pane, std::string_view, bool, view::ReceivedAtNs) override {
        const size_t i = static_cast<size_t>(pane);
        count(lent[i].data(), pane, static_cast<int>(lent[i].size() / 2));
    }
    void abort_pane_picture(int) override {}
    void set_pane_notice(int pane, std::string_view text) override {
        std::lock_guard lock(notice_mutex);
        if (pane >= 0 && pane < 36) notices[static_cast<size_t>(pane)] = std::string(text);
    }
    void draw_high_res(const uint8_t*, int, int, int, uint32_t, std::string_view,
                       view::ReceivedAtNs) override {
        high_res_draws.fetch_add(1);
    }
    void blit(int, const uint8_t*, int, int, const platform::Rect&, bool, const platform::Rect&,
              view::ReceivedAtNs) override {
        blits.fetch_add(1);
    }
    uint8_t* begin_blit(int pane, view::StoredSize stored) override {
        if (pane < 0 || pane >= 36) return nullptr;
        lent[static_cast<size_t>(pane)].assign(
            static_cast<size_t>(stored.width) * stored.height * 4, 0);
        return lent[static_cast<size_t>(pane)].data();
    }
    void commit_blit(int pane, view::StoredSize stored, const platform::Rect& dest, bool,
                     const platform::Rect& rec_box, view::ReceivedAtNs,
                     uint32_t overlay_time) override {
        blits.fetch_add(1);
        last_overlay_time.store(overlay_time);
        last_corner_white.store(corner_white(lent[static_cast<size_t>(pane)], stored));
        draws_per_pane[static_cast<size_t>(pane)].fetch_add(1);
        std::lock_guard lock(notice_mutex);
        last_dest[static_cast<size_t>(pane)] = dest;
        last_rec_box[static_cast<size_t>(pane)] = rec_box;
    }
    platform::Rect rec_box_of(int pane) {
        std::lock_guard lock(notice_mutex);
        return last_rec_box[static_cast<size_t>(pane)];
    }
    platform::Rect dest_of(int pane) {
        std::lock_guard lock(notice_mutex);
        return last_dest[static_cast<size_t>(pane)];
    }
    void clear_panes() override {}
    std::string notice(int pane) {
        std::lock_guard lock(notice_mutex);
        return notices[static_cast<size_t>(pane)];
    }

private:
    static int corner_white(const std::vector<uint8_t>& bgrx, view::StoredSize stored) {
        if (stored.width < 136 || stored.height < 10) return 0;
        int white = 0;
        for (int y = stored.height - 10; y < stored.height; ++y)
            for (int x = stored.width - 136; x < stored.width; ++x) {
                const uint8_t* p = &bgrx[(static_cast<size_t>(y) * stored.width + x) * 4];
                white += p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF ? 1 : 0;
            }
        return white;
    }
    void count(const uint8_t* yuy2, int pane, int pixels) {
        int lo = 255, hi = 0;
        for (int i = 0; i < pixels; i += 97) {
            lo = std::min<int>(lo, yuy2[i * 2]);
            hi = std::max<int>(hi, yuy2[i * 2]);
        }
        last_luma_range = hi - lo;
        pane_draws.fetch_add(1);
        if (pane >= 0 && pane < 36) draws_per_pane[static_cast<size_t>(pane)].fetch_add(1);
    }
    // One lent buffer per pane: a pane's pictures come one at a time.
    std::array<std::vector<uint8_t>, 36> lent;
    std::mutex notice_mutex;
    std::array<std::string, 36> notices;
    std::array<platform::Rect, 36> last_dest{};
    std::array<platform::Rect, 36> last_rec_box{};
};

// Reports posted to "the UI thread": the test thread runs them when it pumps.
class QueuedUiPost : public pane::UiPost {
public:
    void post(std::function<void()> fn) override {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(fn));
    }
    // Runs what was posted so far; returns how many ran. The test's own thread.
    int pump() {
        std::deque<std::function<void()>> ready;
        {
            std::lock_guard lock(mutex_);
            ready.swap(pending_);
        }
        for (auto& fn : ready) fn();
        return static_cast<int>(ready.size());
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
};

// Waits until `pred` holds or `limit` passes, running the pipelines' reports meanwhile.
template <class Pred>
bool pump_until(QueuedUiPost& ui, Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        ui.pump();
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ui.pump();
    return pred();
}

// A layout that takes every grid as it comes (tests that open a few panes).
struct NoLayout : view::PaneLayoutHooks {
    void leave_full_view() override {}
    bool apply_layout(int) override { return true; }
};

// Runs what the pipelines post until `done` holds (at most 20 s); returns `done()`.
inline bool pump_until(QueuedUiPost& ui, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        ui.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace orvel::test
