// The windows of the remote search on Qt: the Date dialog while it runs, the timeline
// window, the login timer of the search, and the hand-over of reader-thread notifications
// to the UI thread. Implements net::SearchUiPort; the search logic is net::RemoteSearch.
#pragma once

#include <QDate>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "gui/date_dialog.h"
#include "gui/timeline_window.h"
#include "media/timeline/remote_pane_hooks.h"
#include "net/net_session.h"
#include "net/remote_search.h"
#include "platform/ports/menus.h"
#include "platform/ports/message_box.h"
#include "platform/ports/ui_channel.h"
#include "view/screen_mode.h"

namespace orvel::gui {

class RemoteSearchView final : public net::SearchUiPort {
public:
    struct Links {
        QWidget* main_window = nullptr;  // parent of the dialog and the timeline
        view::ScreenMode screen;
        platform::MessageBoxPort* messages = nullptr;
        platform::MenuPort* menus = nullptr;
        platform::UiMessageChannel* channel = nullptr;  // message 32771
        net::NetSession* session = nullptr;
    };
    // Thread: UI thread (all members but the two posts).
    explicit RemoteSearchView(Links links);
    ~RemoteSearchView() override;

    // The search whose timer and dialog requests this view serves (set once).
    void set_search(net::RemoteSearch* search) { search_ = search; }
    // Runs after each timeline window is made (the main window puts controls above it).
    void set_timeline_created(std::function<void()> fn) { timeline_created_ = std::move(fn); }
    // The remote-playback panes (null: none; ticking a camera is then refused).
    void set_remote_panes(media::RemotePaneHooks* panes);

    // Site menu "display files" (32811): hides the window, closing every remote pane, or
    // shows it again.
    void toggle_shown();
    // The pane menu's "stop" on the remote pane of `camera` (1-based): its box is cleared and
    // its pane closed. False without a timeline or a ticked row for it.
    bool close_camera(int camera) { return timeline_ && timeline_->close_camera(camera); }
    // Message 32770 of a remote pane: its camera moves on. False when it has no next one.
    bool next_segment(int camera);
    // Timer 2's re-seek of every ticked camera at the position (for the shell's
    // timeline_refresh hook once the remote panes decide when it is due).
    void reseek();

    TimelineWindow* timeline_window() const { return timeline_.get(); }
    DateDialog* date_dialog() const { return dialog_; }
    // Runs before each Date dialog is shown, in place of exec() when set (tests drive the
    // dialog and end it themselves).
    void set_dialog_runner(std::function<int(DateDialog&)> runner) { runner_ = std::move(runner); }

    // net::SearchUiPort.
    bool run_date_dialog(const net::QueryDate& query) override;
    bool timeline_exists() const override { return timeline_ != nullptr; }
    void close_timeline() override;
    void create_timeline(int camera_count, const std::string& date_text) override;
    void arm_login_timer(int timeout_ms) override;
    void cancel_login_timer() override;
    void post_day_index_changed() override;
    void post_recording_days_changed() override;

private:
    void refresh_masks();
    void close_remote_panes();

    Links links_;
    net::RemoteSearch* search_ = nullptr;
    media::RemotePaneHooks no_panes_;  // every operation refused or empty
    media::RemotePaneHooks* panes_ = &no_panes_;
    std::unique_ptr<TimelineWindow> timeline_;
    DateDialog* dialog_ = nullptr;  // while run_date_dialog runs
    std::function<int(DateDialog&)> runner_;
    std::function<void()> timeline_created_;
    QTimer login_timer_;
    QObject context_;  // receiver of posts from reader threads; dies with the view
};

}  // namespace orvel::gui
