// The program's remote playback: the panes that play the DVR's recordings for the timeline,
// fast play (1028), the pane menu's "play", "stop" and "record" on a remote pane, the
// pane-finished message of a remote pane and timer 2.
#include <cstring>

#include "app/command_ids.h"
#include "gui/program.h"
#include "platform/log.h"

namespace orvel::gui {

namespace id = app::id;

std::string Program::camera_item_text(int camera) const {
    if (!remote_search_) return {};
    const platform::TreeItem site = remote_search_->search_site_item();
    if (site == platform::kNoTreeItem) return {};
    for (platform::TreeItem item = tree_->first_child(site); item != platform::kNoTreeItem;
         item = tree_->next_sibling(item)) {
        if (net::item_camera(tree_->item_data(item)) == camera) return tree_->item_text(item);
    }
    return {};
}

void Program::install_remote_panes() {
    remote_drives_ = std::make_unique<platform::DriveMap>(config_.ini());
    remote_writer_ = std::make_unique<media::RecordWriter>(
        media::RecorderEnv{&config_.ini(), remote_drives_.get(), &remote_clock_});

    pane::RemotePanes::Links links;
    links.camera_text = [this](int camera) { return camera_item_text(camera); };
    // Already on the UI thread: the message is handled at once, as a sent message would be.
    links.finished = [this](int pane, int camera_index) {
        handle_private_message(platform::kMsgPaneFinished, pane, camera_index);
    };
    links.refresh_controls = [this] { show_pane_states(); };
    links.writer = remote_writer_.get();
    remote_panes_ = std::make_unique<pane::RemotePanes>(state_, *shell_, boxes_, controls_.get(),
                                                        live_->pipelines().env(), std::move(links));
    search_view_->set_remote_panes(remote_panes_.get());
    // The timeline is placed over the fast-play button in both screen modes, yet fast play
    // works only while the timeline exists: the button stays above it.
    search_view_->set_timeline_created([this] {
        if (QWidget* button = window_->control(id::kFastPlay)) button->raise();
    });

    dispatcher_.set_handler(id::kFastPlay, [this](int) {
        if (!remote_panes_->fast_play_toggle(search_view_->timeline_window() != nullptr)) return;
        controls_->set_face(id::kFastPlay, state_.fast_play.load() != 0
                                               ? app::bitmap::kFastPlayOn
                                               : app::bitmap::kFastPlayOff);
    });
    dispatcher_.set_handler(id::kPaneRecord, [this](int) {
        const int pane = state_.menu_pane;
        if (pane < 0 || pane >= view::kMaxPanes ||
            state_.pane_kind[static_cast<std::size_t>(pane)] != view::PANE_REMOTE_FILE)
            return;
        if (!remote_panes_->record_toggle(pane)) return;
        ORVEL_LOG_INFO("remote pane %d: saving %s", pane,
                       state_.remote_slots[static_cast<std::size_t>(pane)]->recording.load() != 0
                           ? "started"
                           : "stopped");
    });
    dispatcher_.set_handler(id::kPanePlay, [this](int) {
        const int pane = state_.menu_pane;
        if (pane >= 0 && pane < view::kMaxPanes &&
            state_.pane_kind[static_cast<std::size_t>(pane)] == view::PANE_REMOTE_FILE)
            remote_panes_->resume(pane);
        else if (playback_)
            playback_->play_pause(pane);  // the same menu item on a local-file pane
    });

    app::ShellHooks& hooks = shell_->hooks();
    // "stop" on a remote pane clears its camera's box in the timeline, which closes it; other
    // playback panes go to whoever handled them before.
    auto previous_stop = hooks.stop_playback_pane;
    hooks.stop_playback_pane = [this, previous_stop](int pane) {
        if (pane >= 0 && pane < view::kMaxPanes &&
            state_.pane_kind[static_cast<std::size_t>(pane)] == view::PANE_REMOTE_FILE) {
            const int camera = state_.remote_slots[static_cast<std::size_t>(pane)]->camera + 1;
            if (!search_view_->close_camera(camera)) remote_panes_->close_pane(pane);
            return;
        }
        if (previous_stop) previous_stop(pane);
    };
    hooks.timeline_refresh = [this] { timeline_refresh(); };
}

void Program::timeline_refresh() {
    // Timer 2: while a live pane shows the DVR whose recordings play, fast play is switched
    // off (both streams share the DVR's link) and every camera is positioned again at the
    // cursor, which reopens its recording at normal speed. Nothing changes otherwise: a
    // re-seek at the same speed would only restart every recording where it already is.
    if (search_view_->timeline_window() == nullptr || !remote_panes_->fast_play_meets_live())
        return;
    state_.fast_play.store(0);
    controls_->set_face(id::kFastPlay, app::bitmap::kFastPlayOff);
    ORVEL_LOG_INFO("fast play off: a live pane shows %s", state_.remote_site_address.data());
    search_view_->reseek();
}

}  // namespace orvel::gui
