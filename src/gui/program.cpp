#include "gui/program.h"

#include <QCoreApplication>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "gui/connect_dialog.h"

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
    window_ = std::make_unique<MainWindow>(mode, std::move(hooks));
    state_.screen = window_->screen();

    tree_ = std::make_unique<QtTreeControl>(*window_->tree(), invoker_);
    controls_ = std::make_unique<QtMainControls>(*window_, invoker_);
    controls_->set_quit_handler([](int code) { QCoreApplication::exit(code); });
    timers_ = std::make_unique<QtTimers>([this](int timer_id) { shell_->on_timer(timer_id); });

    app::ShellPorts ports{messages_, *tree_, menus_, *controls_, *timers_, sleeper_};
    shell_ = std::make_unique<app::Shell>(state_, config_, ports, dispatcher_);
    shell_->hooks().connect_default_site = [this](platform::TreeItem item) {
        connect_default_site(item);
    };

    LiveView::Links live_links;
    live_links.video_window = window_->video_area()->video_window();
    live_links.messages = &messages_;
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
    live_ = std::make_unique<LiveView>(state_, std::move(live_links));
    live_->install(shell_->hooks());

    site_config_ = std::make_unique<app::ConfigSitePort>(config_, state_, messages_);
    net_ = std::make_unique<net::NetSession>(
        state_, net::NetPorts{*tree_, menus_, messages_, channel_, *site_config_, *live_});
    connect_logic_ =
        std::make_unique<net::ConnectDialogLogic>(*net_, state_, *site_config_, messages_);
    net_->preload_site_records();
    install_site_commands();
    wire_connect_button(dispatcher_, *controls_, *connect_logic_, window_.get());
    channel_.set_handler(this);

    window_->video_area()->video_window()->set_click_handler(
        [this](int x, int y, bool double_click) {
            if (!double_click) live_->on_video_click(x, y);
        });
    window_->video_area()->video_window()->set_selection_listener(
        [this](const QRect& frame) { live_->show_selection_frame(frame, kSelectionFrameColour); });
    window_->video_area()->video_window()->set_view_source([this] {
        return VideoGridView{state_.grid_side, state_.full_view_active.load() != 0,
                             state_.last_click_x, state_.last_click_y};
    });
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
        case TreeGesture::right_click:
            if (const int chosen = net_->on_tree_right_click(handle, global.x(), global.y()))
                shell_->on_command(chosen);
            return;
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
    // The latching pad buttons show the states of the selected pane.
    const auto pad = app::pad_buttons_layout();
    const auto pane = static_cast<std::size_t>(state_.selected_pane.load());
    for (std::size_t i = 0; i < pad.size(); ++i) {
        if (!pad[i].latching) continue;
        const auto& states = pad[i].on_code == 16 ? state_.latch_a : state_.latch_b;
        window_->pad_buttons()[i]->set_on(states[pane] != 0);
    }
    window_->show();
}

void Program::stop() {
    if (stopped_) return;
    stopped_ = true;
    invoker_.close();  // a reader thread waiting on the UI thread returns now
    connect_logic_.reset();
    // Live panes first: their threads end, their sockets close and their decoders go before
    // the sound output and the decoder table shut down.
    live_->close_all();
    net_.reset();  // ends every reader thread before the tree and ports go
    timers_->stop_timer(id::kTimerPlayback);
    timers_->stop_timer(id::kTimerTimeline);
}

std::intptr_t Program::handle_private_message(int message, std::intptr_t wparam,
                                              std::intptr_t lparam) {
    if (message == net::kMsgNetReply) return net_ ? net_->handle_net_message(wparam, lparam) : 0;
    return shell_->handle_private_message(message, wparam, lparam);
}

}  // namespace orvel::gui
