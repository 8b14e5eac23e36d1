// The running program's parts on Qt and their wiring: the main window, the Qt adapters of
// the ports, the shell (main-window logic), the site connection session and the command
// handlers of the areas built so far. main() creates one; tests create one offscreen.
#pragma once

#include <memory>

#include "app/config.h"
#include "app/connect_config_port.h"
#include "app/dispatcher.h"
#include "app/pane_menu.h"
#include "app/shell.h"
#include "gui/live_view.h"
#include "gui/main_window.h"
#include "gui/program_playback.h"
#include "gui/program_snapshots.h"
#include "gui/qt_main_controls.h"
#include "gui/qt_menus.h"
#include "gui/qt_message_box.h"
#include "gui/qt_timers.h"
#include "gui/qt_tree_control.h"
#include "gui/remote_search_view.h"
#include "gui/ui_channel_qt.h"
#include "gui/ui_invoker.h"
#include "media/record_writer.h"
#include "media/wall_clock.h"
#include "gui/video_area.h"
#include "net/connect_dialog_logic.h"
#include "net/net_session.h"
#include "net/pane_hooks.h"
#include "net/remote_search.h"
#include "pane/remote_panes.h"
#include "platform/drives.h"
#include "platform/logged_message_box.h"
#include "platform/ports/sleeper.h"
#include "view/app_state.h"

namespace orvel::gui {

class Program final : public platform::UiMessageHandler {
public:
    // Builds the window of the mode and wires every part. Thread: UI thread.
    Program(view::AppState& state, app::Config& config, view::ScreenModeKind mode);
    // Stops first when stop() was not called.
    ~Program() override;

    // The main window's initialisation (the shell's steps, the tree, timer 2, the default
    // site's login), then shows the window. Thread: UI thread.
    void start();
    // After the event loop: closes the UI channel (workers waiting on it return), ends the
    // site connections' reader threads, stops the timers. Thread: UI thread.
    void stop();

    // Private messages: the site connections' reply message to the session, the rest to
    // the shell. Thread: UI thread.
    std::intptr_t handle_private_message(int message, std::intptr_t wparam,
                                         std::intptr_t lparam) override;

    MainWindow& window() { return *window_; }
    QtMenus& menus() { return menus_; }
    QtMessageBox& messages() { return messages_; }
    QtTreeControl& tree() { return *tree_; }
    QtMainControls& controls() { return *controls_; }
    QtTimers& timers() { return *timers_; }
    QtUiChannel& channel() { return channel_; }
    app::Shell& shell() { return *shell_; }
    app::CommandDispatcher& dispatcher() { return dispatcher_; }
    net::NetSession& net() { return *net_; }
    LiveView& live() { return *live_; }
    ProgramPlayback& playback() { return *playback_; }
    net::RemoteSearch& remote_search() { return *remote_search_; }
    RemoteSearchView& search_view() { return *search_view_; }
    pane::RemotePanes& remote_panes() { return *remote_panes_; }

private:
    void on_tree(TreeGesture gesture, QTreeWidgetItem* item, platform::TreeHitPart hit,
                 QPoint global);
    void on_pad(int index, bool pressed);
    void install_site_commands();
    void install_remote_search();
    // The remote-playback panes behind the timeline, fast play, the pane menu's "play",
    // "stop" and "record" on them, and timer 2 (program_remote.cpp).
    void install_remote_panes();
    void timeline_refresh();
    std::string camera_item_text(int camera) const;
    // Right click in the video window: the menu of the pane under it. Thread: UI thread.
    void on_pane_context(int x, int y, QPoint global);
    // Clicks, double clicks and right clicks of a window that holds the panes (the video
    // window, or the full-screen window). Thread: UI thread.
    void wire_pane_window(VideoWindow* window);
    void open_full_screen_window();
    void close_full_screen_window();
    void on_key(KeyAction action);
    // The selected pane's states on the pad's latching buttons and the per-pane controls.
    void show_pane_states();
    void connect_default_site(platform::TreeItem item);

    view::AppState& state_;
    app::Config& config_;
    UiInvoker invoker_;
    QtMessageBox messages_{invoker_};
    platform::LoggedMessageBox boxes_{messages_};  // what every part shows goes to the log
    QtMenus menus_;
    QtUiChannel channel_{invoker_};
    platform::ThreadSleeper sleeper_;
    app::CommandDispatcher dispatcher_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtTreeControl> tree_;
    std::unique_ptr<QtMainControls> controls_;
    std::unique_ptr<QtTimers> timers_;
    std::unique_ptr<app::Shell> shell_;
    std::unique_ptr<app::ConfigSitePort> site_config_;
    platform::DriveMap drives_{config_.ini()};     // recording and snapshot folders
    std::unique_ptr<LiveView> live_;               // the pane side of the site commands
    std::unique_ptr<ProgramPlayback> playback_;    // local-file panes; goes before live_
    std::unique_ptr<ProgramSnapshots> snapshots_;  // photo and print; goes before playback_
    std::unique_ptr<net::NetSession> net_;
    std::unique_ptr<net::ConnectDialogLogic> connect_logic_;
    std::unique_ptr<RemoteSearchView> search_view_;  // the search's windows
    std::unique_ptr<net::RemoteSearch> remote_search_;
    // Remote playback: its saved copies' writer and the panes (closed before the pipelines).
    std::unique_ptr<platform::DriveMap> remote_drives_;
    media::SystemWallClock remote_clock_;
    std::unique_ptr<media::RecordWriter> remote_writer_;
    std::unique_ptr<pane::RemotePanes> remote_panes_;
    app::ScreenMenuState screen_menu_;  // _ScreenMenu_ as the last pop-up left it
    bool stopped_ = false;
    // Open while the panes are shown full screen; closed before the renderers go.
    std::unique_ptr<FullScreenWindow> full_screen_;
};

}  // namespace orvel::gui
