#include "gui/program.h"

#include <QCoreApplication>
#include <QScreen>
#include <algorithm>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "app/pane_menu.h"
#include "gui/connect_dialog.h"
#include "gui/settings_dialog.h"
#include "view/panes.h"

namespace orvel::gui {

namespace id = app::id;

Program::Program(view::AppState& state, app::Config& config, view::ScreenModeKind mode)
    : state_(state), config_(config) {
    MainWindowHooks hooks;
    hooks.command = [this](int cmd) { shell_->on_command(cmd); };
    hooks.seek_slider = [this](int code) { shell_->on_seek_slider(code); };
    hooks.close_requested = [this] { shell_->on_command(id::kExit); };
    hooks.tree = [this](TreeGesture g, QTreeWidgetItem* item, platform::TreeHitPart hit,
                        QPoint global) { on_tree(g, item, hit, global); };
    hooks.pad = [this](int index, bool pressed) { on_pad(index, pressed); };
    hooks.key = [this](KeyAction action) { on_key(action); };
    window_ = std::make_unique<MainWindow>(mode, std::move(hooks));
    menus_.set_anchor(window_.get());
    state_.screen = window_->screen();

    tree_ = std::make_unique<QtTreeControl>(*window_->tree(), invoker_);
    controls_ = std::make_unique<QtMainControls>(*window_, invoker_);
    controls_->set_quit_handler([](int code) { QCoreApplication::exit(code); });
    timers_ = std::make_unique<QtTimers>([this](int timer_id) { shell_->on_timer(timer_id); });

    app::ShellPorts ports{boxes_, *tree_, menus_, *controls_, *timers_, sleeper_};
    shell_ = std::make_unique<app::Shell>(state_, config_, ports, dispatcher_);
    shell_->hooks().connect_default_site = [this](platform::TreeItem item) {
        connect_default_site(item);
    };

    LiveView::Links live_links;
    live_links.video_window = window_->video_area()->video_window();
    live_links.messages = &boxes_;
    live_links.controls = controls_.get();
    live_links.tree = tree_.get();
    live_links.shell = shell_.get();
    live_links.stream_select = [this](int pane, bool main_stream, int stream_port,
                                      std::uint32_t stream_id) {
        if (net_) net_->stream_select(pane, main_stream, stream_port, stream_id);
    };
    live_links.open_failed = [this](int pane) {
        if (net_) net_->pane_closed(pane);
    };
    live_links.ini = &config_.ini();
    live_links.drives = &drives_;
    live_ = std::make_unique<LiveView>(state_, std::move(live_links));
    live_->install(shell_->hooks());
    ProgramPlayback::Links playback_links;
    playback_links.state = &state_;
    playback_links.shell = shell_.get();
    playback_links.dispatcher = &dispatcher_;
    playback_links.controls = controls_.get();
    playback_links.messages = &boxes_;
    playback_links.timers = timers_.get();
    playback_links.live = live_.get();
    playback_links.dialog_parent = window_.get();
    playback_ = std::make_unique<ProgramPlayback>(playback_links);
    ProgramSnapshots::Links snapshot_links;
    snapshot_links.state = &state_;
    snapshot_links.config = &config_;
    snapshot_links.drives = &drives_;
    snapshot_links.messages = &boxes_;
    snapshot_links.ui = live_->pipelines().env().ui;
    snapshot_links.playback = playback_.get();
    snapshot_links.dialog_parent = window_.get();
    snapshots_ = std::make_unique<ProgramSnapshots>(snapshot_links, dispatcher_);
    live_->pipelines().env().snapshots = snapshots_.get();

    site_config_ = std::make_unique<app::ConfigSitePort>(config_, state_, boxes_);
    net_ = std::make_unique<net::NetSession>(
        state_, net::NetPorts{*tree_, menus_, boxes_, channel_, *site_config_, *live_});
    connect_logic_ =
        std::make_unique<net::ConnectDialogLogic>(*net_, state_, *site_config_, boxes_);
    net_->preload_site_records();
    install_site_commands();
    install_remote_search();
    install_remote_panes();
    wire_connect_button(dispatcher_, *controls_, *connect_logic_, window_.get());
    wire_settings_button(dispatcher_, *controls_, config_, channel_, window_.get());
    channel_.set_handler(this);

    wire_pane_window(window_->video_area()->video_window());
    window_->video_area()->video_window()->set_covered_source(
        [this] { return live_->pictures_region(); });
    // The remembered click point (selection frame, zoom button) goes with the panes.
    shell_->hooks().open_full_screen_window = [this] {
        view::carry_click_point(state_, true);
        open_full_screen_window();
    };
    shell_->hooks().close_full_screen_window = [this] {
        view::carry_click_point(state_, false);
        close_full_screen_window();
    };
}

void Program::wire_pane_window(VideoWindow* window) {
    window->set_click_handler([this](int x, int y, bool double_click) {
        if (double_click) {
            shell_->video_double_click(x, y);  // enlarges the pane, or returns to the grid
        } else {
            live_->on_video_click(x, y);
        }
        show_pane_states();
    });
    // The enlarged pane's digital zoom: the wheel zooms about the cursor, a drag pans.
    window->set_wheel_handler([this, window](int x, int y, int steps) {
        live_->zoom_wheel(steps, x, y, window->width(), window->height());
    });
    window->set_drag_handler([this, window](int dx, int dy) {
        live_->zoom_drag(dx, dy, window->width(), window->height());
    });
    window->set_context_handler(
        [this](int x, int y, QPoint global) { on_pane_context(x, y, global); });
    window->set_selection_listener(
        [this](const QRect& frame) { live_->show_selection_frame(frame, kSelectionFrameColour); });
    window->set_view_source([this] {
        return VideoGridView{state_.grid_side, state_.full_view_active.load() != 0,
                             state_.last_click_x, state_.last_click_y};
    });
}

void Program::open_full_screen_window() {
    if (full_screen_ && full_screen_->isVisible()) return;
    // Made once and kept hidden between uses: a new top-level window (and its OpenGL
    // composition) each time would make every entry slow.
    if (!full_screen_) {
        full_screen_ = std::make_unique<FullScreenWindow>();
        wire_pane_window(full_screen_.get());
        full_screen_->set_escape_handler([this] { shell_->on_command(id::kControlFullScreen); });
    }
    // Over the screen the main window is on, at the full-screen size of the screen mode.
    const QScreen* screen = window_->QWidget::screen();
    const QPoint origin = screen != nullptr ? screen->geometry().topLeft() : QPoint(0, 0);
    full_screen_->setGeometry(origin.x(), origin.y(), state_.screen.full_screen_width,
                              state_.screen.full_screen_height);
    live_->set_full_screen_window(full_screen_.get());
    full_screen_->show();
    full_screen_->raise();
    full_screen_->activateWindow();
    full_screen_->setFocus();
}

void Program::close_full_screen_window() {
    if (!full_screen_ || !full_screen_->isVisible()) return;
    live_->set_full_screen_window(nullptr);
    // Often closed from inside its own key or mouse handler (Escape, its menu): it is only
    // hidden, so nothing that handler still uses goes away.
    full_screen_->hide();
    window_->activateWindow();
}

Program::~Program() { stop(); }

void Program::install_site_commands() {
    net::NetSession& n = *net_;
    dispatcher_.set_handler(id::kStreamPlay, [&n](int) { n.play_camera(); });
    dispatcher_.set_handler(id::kStreamStop, [&n](int) { n.stop_camera(); });
    dispatcher_.set_handler(id::kStreamPlayRecord, [&n](int) { n.play_and_record_camera(); });
    dispatcher_.set_handler(id::kSitePlayAll, [&n](int) { n.play_all(); });
    dispatcher_.set_handler(id::kSiteStopPlay, [&n](int) { n.stop_play(); });
    dispatcher_.set_handler(id::kSiteDisconnect, [&n](int) { n.disconnect_site(); });
    dispatcher_.set_handler(id::kSiteDelete, [&n](int) { n.delete_site(); });
    dispatcher_.set_handler(id::kSiteDefault, [&n](int) { n.default_connection(); });
    dispatcher_.set_handler(id::kSelectCamera, [&n](int) { n.select_camera_toggle(); });
    dispatcher_.set_handler(id::kPresetBase, [this](int cmd) {
        net_->goto_preset(state_.menu_pane, cmd - id::kPresetBase);
    });
    dispatcher_.set_handler(id::kPresetTour, [this](int) { net_->preset_tour(state_.menu_pane); });
    dispatcher_.set_handler(id::kPaneStop, [this](int) {
        const int pane = state_.menu_pane;
        if (pane < 0 || pane >= view::kMaxPanes) return;
        if (state_.pane_kind[static_cast<std::size_t>(pane)] == view::PANE_LIVE) {
            net_->stop_pane(pane);
        } else if (shell_->hooks().stop_playback_pane) {
            shell_->hooks().stop_playback_pane(pane);
        }
    });
}

void Program::on_pane_context(int x, int y, QPoint global) {
    const app::PaneMenuTarget target = app::pane_menu_target(state_, x, y);
    // Menus open at the cursor, given in main-window coordinates.
    const QPoint at = window_->mapFromGlobal(global);
    int chosen = 0;
    switch (target.kind) {
        case app::PaneMenuKind::none:
            return;  // an empty pane has no menu
        case app::PaneMenuKind::live: {
            const auto names = net_->preset_names(target.pane);
            const auto items = app::live_pane_menu_items(names ? &*names : nullptr);
            chosen = menus_.popup_items(items, at.x(), at.y());
            break;
        }
        case app::PaneMenuKind::remote:
            app::prepare_remote_menu(screen_menu_, target.run_state, target.recording);
            app::apply_screen_menu(screen_menu_, menus_);
            chosen = menus_.popup(platform::MenuId::pane, at.x(), at.y(),
                                  platform::PopupAlign::top_left);
            break;
        case app::PaneMenuKind::local:
            app::prepare_local_menu(screen_menu_, target.play_state);
            app::apply_screen_menu(screen_menu_, menus_);
            chosen = menus_.popup(platform::MenuId::pane, at.x(), at.y(),
                                  platform::PopupAlign::top_left);
            break;
        case app::PaneMenuKind::full_screen_control:
            chosen = menus_.popup(platform::MenuId::control, at.x(), at.y(),
                                  platform::PopupAlign::top_left);
            break;
    }
    if (chosen != 0) shell_->on_command(chosen);
}

void Program::on_key(KeyAction action) {
    if (action == KeyAction::enter) {
        shell_->on_command(id::kZoom);  // enlarge the selected pane, or return to the grid
        return;
    }
    if (action == KeyAction::full_screen) {
        shell_->on_command(id::kFullScreen);
        return;
    }
    if (state_.full_view_active.load() != 0) return;  // the enlarged pane stays selected
    const int n = std::max(state_.grid_side, 1);
    const int pane = state_.selected_pane.load();
    int row = pane / n, col = pane % n;
    switch (action) {
        case KeyAction::left:
            col = std::max(col - 1, 0);
            break;
        case KeyAction::right:
            col = std::min(col + 1, n - 1);
            break;
        case KeyAction::up:
            row = std::max(row - 1, 0);
            break;
        case KeyAction::down:
            row = std::min(row + 1, n - 1);
            break;
        default:
            break;
    }
    const int next = row * n + col;
    if (next == pane) return;
    live_->select_pane(next);
    show_pane_states();
}

void Program::show_pane_states() {
    // The latching pad buttons and the other per-pane controls show the selected pane.
    const auto pad = app::pad_buttons_layout();
    const auto pane =
        static_cast<std::size_t>(std::clamp(state_.selected_pane.load(), 0, view::kMaxPanes - 1));
    for (std::size_t i = 0; i < pad.size(); ++i) {
        if (!pad[i].latching) continue;
        const auto& states = pad[i].on_code == 16 ? state_.latch_a : state_.latch_b;
        window_->pad_buttons()[i]->set_on(states[pane] != 0);
    }
    shell_->pane_selected(static_cast<int>(pane));
}

void Program::install_remote_search() {
    RemoteSearchView::Links links;
    links.main_window = window_.get();
    links.screen = state_.screen;
    links.messages = &boxes_;
    links.menus = &menus_;
    links.channel = &channel_;
    links.session = net_.get();
    search_view_ = std::make_unique<RemoteSearchView>(links);
    remote_search_ = std::make_unique<net::RemoteSearch>(
        state_, *net_, net::RemoteSearch::Ports{*tree_, menus_, boxes_, *search_view_});
    search_view_->set_search(remote_search_.get());
    dispatcher_.set_handler(id::kSiteRemoteFiles,
                            [this](int) { remote_search_->remote_files_command(); });
    dispatcher_.set_handler(id::kSiteDisplayFiles, [this](int) { search_view_->toggle_shown(); });
    app::ShellHooks& hooks = shell_->hooks();
    hooks.remote_search_date = [this](const char* date) { remote_search_->search_for_date(date); };
    hooks.timeline_next_segment = [this](std::intptr_t camera) {
        return search_view_->next_segment(static_cast<int>(camera));
    };
}

void Program::connect_default_site(platform::TreeItem item) {
    const std::string name = net::site_text_name(tree_->item_text(item));
    for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
        const auto& n = state_.sites[static_cast<std::size_t>(i)].name;
        if (name == std::string(n.data(), strnlen(n.data(), n.size()))) {
            net_->connect_and_login(i, item, 1);
            return;
        }
    }
}

void Program::on_tree(TreeGesture gesture, QTreeWidgetItem* item, platform::TreeHitPart hit,
                      QPoint global) {
    const platform::TreeItem handle = QtTreeControl::handle_of(item);
    switch (gesture) {
        case TreeGesture::right_click: {
            const QPoint at = window_->mapFromGlobal(global);  // menus take window coordinates
            if (const int chosen = net_->on_tree_right_click(handle, at.x(), at.y()))
                shell_->on_command(chosen);
            return;
        }
        case TreeGesture::click:
            net_->on_tree_click(handle, hit);
            return;
        case TreeGesture::double_click:
            net_->on_tree_double_click(handle, hit);
            return;
    }
}

void Program::on_pad(int index, bool pressed) {
    const auto pad = app::pad_buttons_layout();
    if (index < 0 || static_cast<std::size_t>(index) >= pad.size()) return;
    const app::PadButtonLayout& b = pad[static_cast<std::size_t>(index)];
    if (!b.latching) {
        if (pressed) {
            net_->pad_press(b.press_code);
        } else {
            net_->pad_release(b.press_code);
        }
        return;
    }
    if (pressed) {
        // Toggle A sends 16/15, toggle B 18/17.
        const int which = b.on_code == 16 ? 0 : 1;
        const bool on = net_->pad_latch(which);
        window_->pad_buttons()[static_cast<std::size_t>(index)]->set_on(on);
    } else {
        net_->pad_latch_release();
    }
}

void Program::start() {
    shell_->initialise();
    show_pane_states();
    window_->show();
}

void Program::stop() {
    if (stopped_) return;
    stopped_ = true;
    invoker_.close();  // a reader thread waiting on the UI thread returns now
    if (full_screen_) {
        live_->set_full_screen_window(nullptr);
        full_screen_.reset();
    }
    connect_logic_.reset();
    // Live panes first: their threads end, their sockets close and their decoders go before
    // the sound output and the decoder table shut down.
    if (playback_) playback_->files().close_all();
    live_->close_all();
    net_.reset();  // ends every reader thread before the tree and ports go
    // The search's windows after the readers that post to them.
    remote_search_.reset();
    search_view_.reset();  // closes the remote panes the timeline opened
    remote_panes_.reset();
    remote_writer_.reset();  // writes what is queued and finishes every saved copy
    timers_->stop_timer(id::kTimerPlayback);
    timers_->stop_timer(id::kTimerTimeline);
}

std::intptr_t Program::handle_private_message(int message, std::intptr_t wparam,
                                              std::intptr_t lparam) {
    if (message == net::kMsgNetReply) return net_ ? net_->handle_net_message(wparam, lparam) : 0;
    return shell_->handle_private_message(message, wparam, lparam);
}

}  // namespace orvel::gui
