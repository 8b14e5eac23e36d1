// Test doubles for the site connection code: a UI channel whose messages the test
// thread pumps (as a UI thread would), a configuration port and pane operations
// that record what they were asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_session.h"
#include "net/pane_hooks.h"
#include "net/site_config_port.h"
#include "platform/ports/ui_channel.h"
#include "view/app_state.h"

namespace orvel::test {

// Messages sent by worker threads wait until the test thread pumps them.
class PumpedUiChannel : public platform::UiMessageChannel {
public:
    explicit PumpedUiChannel(
        std::function<std::intptr_t(int, std::intptr_t, std::intptr_t)> handler)
        : handler_(std::move(handler)), ui_thread_(std::this_thread::get_id()) {}

    std::intptr_t send_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        if (std::this_thread::get_id() == ui_thread_) return handler_(message, wparam, lparam);
        auto p = std::make_shared<Pending>(Pending{message, wparam, lparam});
        std::unique_lock lock(mutex_);
        if (stopped_) return 0;
        queue_.push_back(p);
        cv_.notify_all();
        cv_.wait(lock, [&] { return p->done || stopped_; });
        if (!p->done) std::erase(queue_, p);
        return p->result;
    }
    // Queued for the next pump; the worker goes on.
    void post_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        if (std::this_thread::get_id() == ui_thread_) {
            handler_(message, wparam, lparam);
            return;
        }
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        queue_.push_back(std::make_shared<Pending>(Pending{message, wparam, lparam}));
        cv_.notify_all();
    }

    // Handles queued messages on the test thread until `done` holds or the time is up.
    bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!done()) {
            std::shared_ptr<Pending> p;
            {
                std::unique_lock lock(mutex_);
                cv_.wait_until(lock,
                               std::min(deadline, std::chrono::steady_clock::now() +
                                                      std::chrono::milliseconds(20)),
                               [&] { return !queue_.empty(); });
                if (!queue_.empty()) {
                    p = queue_.front();
                    queue_.pop_front();
                }
            }
            if (p) {
                const std::intptr_t r = handler_(p->message, p->wparam, p->lparam);
                std::lock_guard lock(mutex_);
                p->result = r;
                p->done = true;
                ++handled_;
                cv_.notify_all();
            } else if (std::chrono::steady_clock::now() >= deadline) {
                return done();
            }
        }
        return true;
    }
    // Lets time pass while serving messages.
    void pump_for(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        pump_until([&] { return std::chrono::steady_clock::now() >= until; }, ms + 100);
    }
    // The UI thread takes no more messages: pending and later sends return 0.
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        cv_.notify_all();
    }
    // No message waits to be handled.
    bool idle() const {
        std::lock_guard lock(mutex_);
        return queue_.empty();
    }
    int handled() const {
        std::lock_guard lock(mutex_);
        return handled_;
    }

private:
    struct Pending {
        int message;
        std::intptr_t wparam, lparam;
        std::intptr_t result = 0;
        bool done = false;
    };
    std::function<std::intptr_t(int, std::intptr_t, std::intptr_t)> handler_;
    std::thread::id ui_thread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool stopped_ = false;
    int handled_ = 0;
};

class FakeSiteConfig : public net::SiteConfigPort {
public:
    explicit FakeSiteConfig(view::AppState& state) : state_(state) {}
    bool add_site(const view::SiteEntry& site) override {
        added.push_back(site);
        if (state_.site_count >= view::kMaxSites) return false;
        state_.sites[static_cast<std::size_t>(state_.site_count++)] = site;
        return true;
    }
    bool delete_site(std::string_view name) override {
        deleted.emplace_back(name);
        return true;
    }
    void toggle_default_connection(bool currently_default, std::string_view text,
                                   std::uint32_t data) override {
        toggles.push_back({currently_default, std::string(text), data});
    }
    bool autoplay_enabled() override { return autoplay; }
    std::array<std::string, 8> recent_addresses() override { return recent; }
    std::string network_user() override { return user; }
    void save_connect_settings(std::string_view password, std::string_view address) override {
        saved.push_back({std::string(password), std::string(address)});
    }
    void write_connect_ports(int command_port) override { ports_written.push_back(command_port); }

    struct Toggle {
        bool currently_default;
        std::string text;
        std::uint32_t data;
    };
    bool autoplay = false;
    std::array<std::string, 8> recent{};
    std::string user;
    std::vector<view::SiteEntry> added;
    std::vector<std::string> deleted;
    std::vector<Toggle> toggles;
    std::vector<std::pair<std::string, std::string>> saved;
    std::vector<int> ports_written;

private:
    view::AppState& state_;
};

// Pane operations: a scripted number of panes open, every call recorded.
class FakePanes : public net::PaneHooks {
public:
    int open_live_pane(const net::LiveCameraTarget& target, bool record) override {
        opened.push_back({target.address, target.command_port, target.camera, record});
        if (free_panes <= 0) return -1;
        --free_panes;
        return next_pane++;
    }
    void close_live_pane(int pane) override { closed.push_back(pane); }
    bool pane_is_live(int) override { return true; }
    void leave_full_view() override { ++full_view_leaves; }
    void set_split(int side) override { splits.push_back(side); }
    int open_pane_count() override { return panes_in_use; }
    void select_pane(int pane) override { selected.push_back(pane); }
    void close_timeline_for(const char* address, int) override {
        timelines_closed.emplace_back(address);
    }

    struct Opened {
        std::string address;
        int port;
        int camera;
        bool record;
    };
    int free_panes = 36;
    int next_pane = 0;
    int panes_in_use = 0;
    std::vector<Opened> opened;
    std::vector<int> closed, splits, selected;
    std::vector<std::string> timelines_closed;
    int full_view_leaves = 0;
};

}  // namespace orvel::test
