// The remote file search: the site menu's "remote files" (32801), the Date dialog's chosen
// day (message 32771), the login made for the search when the site is not logged in, and
// the day-index queries that fill the timeline.
//
// Nothing here waits on the network: a search that needs a login sends it and returns; the
// search goes on when the login's answer reaches the UI thread, or ends with "get remote
// file failed" when the connect fails, the login is refused or the 8,000 ms login timer
// fires first. The same holds when the site's connection was found dead and a new one logs
// in again before the day-index queries.
//
// Thread: UI thread, except where a function says otherwise.
#pragma once

#include <atomic>
#include <string>

#include "net/net_session.h"
#include "net/search_listener.h"
#include "platform/ports/menus.h"
#include "platform/ports/message_box.h"
#include "platform/ports/tree_control.h"
#include "view/app_state.h"

namespace orvel::net {

inline constexpr const char* kGetRemoteFileFailed = "get remote file failed";
inline constexpr int kSearchLoginTimeoutMs = 8000;
inline constexpr int kDisplayFilesCommand = 32811;

// What the search needs of the windows (the Date dialog and the timeline window).
class SearchUiPort {
public:
    virtual ~SearchUiPort() = default;
    // Runs the Date dialog modally for the month of `query` (the date whose recording days
    // were asked for); it sends the chosen date with message 32771 before it ends. True when
    // it ended with OK. Thread: UI thread.
    virtual bool run_date_dialog(const QueryDate& query) = 0;
    // Thread: UI thread.
    virtual bool timeline_exists() const = 0;
    // Closes every remote-file pane and destroys the timeline window. Thread: UI thread.
    virtual void close_timeline() = 0;
    // Creates and shows the timeline window for the site's cameras and the searched day.
    // Thread: UI thread.
    virtual void create_timeline(int camera_count, const std::string& date_text) = 0;
    // Arms (or re-arms) the one-shot timer that calls RemoteSearch::login_timed_out, and
    // cancels it. Thread: UI thread.
    virtual void arm_login_timer(int timeout_ms) = 0;
    virtual void cancel_login_timer() = 0;
    // New day indexes or recording-day masks were stored: the windows redraw. Thread: a
    // connection's reader thread; posts to the UI thread and never waits.
    virtual void post_day_index_changed() = 0;
    virtual void post_recording_days_changed() = 0;
};

class RemoteSearch final : public SearchListener {
public:
    struct Ports {
        platform::TreeControlPort& tree;
        platform::MenuPort& menus;
        platform::MessageBoxPort& message_box;
        SearchUiPort& ui;
    };
    // Installs itself as the session's search listener. The session must be destroyed (its
    // reader threads ended) before the search is, or the listener removed by the caller.
    RemoteSearch(view::AppState& state, NetSession& session, Ports ports);
    ~RemoteSearch() override = default;
    RemoteSearch(const RemoteSearch&) = delete;
    RemoteSearch& operator=(const RemoteSearch&) = delete;

    // Site menu "remote files" on the selected site item.
    void remote_files_command();
    // Message 32771: searches the chosen day ("yy-mm-dd").
    void search_for_date(const char* date_text);
    // The login timer fired before the search's login was answered.
    void login_timed_out();
    // While the Date dialog runs: asks the DVR for the recording days of the month of
    // `date` and the two before it; false when the site is not logged in.
    bool ask_recording_days(const QueryDate& date);
    // True when every recording-days query has been answered, so the stored masks are those
    // of the last query.
    bool recording_days_current() const { return days_answered_.load() >= days_asked_; }

    // SearchListener. Thread: as declared there.
    void day_index_changed() override;
    void recording_days_changed() override;
    void search_login_answered(bool accepted) override;

    bool waiting_for_login() const { return wait_ != Wait::kNone; }
    const std::string& search_date() const { return date_; }
    platform::TreeItem search_site_item() const { return search_site_item_; }
    int camera_count() const { return camera_count_; }

private:
    // What the search waits for: the login that brings the site's cameras, or the new
    // connection's login before the day-index queries.
    enum class Wait { kNone, kLogin, kRelogin };

    platform::TreeItem selected_site_item() const;
    void show_timeline(platform::TreeItem site_item);
    void send_day_index_queries(platform::TreeItem site_item);
    void wait_for_login(Wait wait, platform::TreeItem site_item);
    void fail();

    view::AppState& state_;
    NetSession& session_;
    Ports ports_;
    std::string date_;
    std::string address_;
    int command_port_ = 0;
    platform::TreeItem dialog_site_item_ = platform::kNoTreeItem;  // while the dialog runs
    platform::TreeItem search_site_item_ = platform::kNoTreeItem;
    platform::TreeItem login_site_item_ = platform::kNoTreeItem;
    Wait wait_ = Wait::kNone;
    int camera_count_ = 0;
    int days_asked_ = 0;                 // UI thread
    std::atomic<int> days_answered_{0};  // reader threads
};

// True for a "yy-mm-dd" text of digits; fills the date (year 2000 + yy).
bool parse_search_date(std::string_view text, QueryDate& out);

}  // namespace orvel::net
