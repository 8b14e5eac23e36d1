#include "app/shell.h"

#include <cstdio>
#include <string>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "app/strings.h"
#include "view/fixed_text.h"

namespace orvel::app {

namespace {

// The nine file-playback controls hidden when a remote search starts.
constexpr int kPlaybackControls[9] = {id::kSpeedBox,  id::kTimeText,  id::kSeekSlider,
                                      id::kPlayPause, id::kSpeedPlay, id::kStop,
                                      id::kPrint,     id::kPhoto,     id::kFrameStep};

int side_of(int pane_count) {
    for (int side = view::kMinGridSide; side <= view::kMaxGridSide; ++side) {
        if (side * side == pane_count) return side;
    }
    return 0;
}

int audio_item(int pane) { return pane < 0 ? id::kAudioSilence : id::kAudioChannelBase + pane; }

}  // namespace

SplitGuard split_guard(int target_side) {
    switch (target_side) {
        case 2:
            return {4, 3, strings::kStr58StopFourth};
        case 3:
            return {9, 4, strings::kStr59StopNineth};
        case 4:
            return {16, 5, strings::kStr74StopSixteenth};
        case 5:
            return {25, 6, strings::kStr75Stop25};
        default:
            return {view::kMaxPanes, view::kMaxGridSide + 1, nullptr};
    }
}

Shell::Shell(view::AppState& state, Config& config, ShellPorts ports, CommandDispatcher& dispatcher)
    : state_(state), config_(config), ports_(ports), dispatcher_(dispatcher) {
    register_operations();
}

void Shell::register_operations() {
    dispatcher_.set_handler(id::kSplit4, [this](int) { split_change(2); });
    dispatcher_.set_handler(id::kSplit9, [this](int) { split_change(3); });
    dispatcher_.set_handler(id::kSplit16, [this](int) { split_change(4); });
    dispatcher_.set_handler(id::kSplit25, [this](int) { split_change(5); });
    dispatcher_.set_handler(id::kSplit36, [this](int) { split_change(6); });
    dispatcher_.set_handler(id::kAudioSilence, [this](int cmd) { audio_select_pane(cmd); });
    dispatcher_.set_handler(id::kAudioChannelBase, [this](int cmd) { audio_select_pane(cmd); });
    dispatcher_.set_handler(id::kAudioButton, [this](int) { audio_menu_popup(); });
    dispatcher_.set_handler(id::kExit, [this](int) { exit_command(); });
    dispatcher_.set_handler(id::kMinimise, [this](int) { minimise_command(); });
    dispatcher_.set_handler(id::kZoom, [this](int) { zoom_toggle(); });
    dispatcher_.set_handler(id::kPaneZoom, [this](int) { pane_zoom(); });
    dispatcher_.set_handler(id::kFullScreen, [this](int) { enter_full_screen(); });
    dispatcher_.set_handler(id::kControlFullScreen, [this](int) { leave_full_screen(); });
}

void Shell::initialise() {
    state_.grid_side = view::kMinGridSide;
    ports_.controls.set_slider_range(id::kSeekSlider, 0, 1000);
    ports_.controls.set_slider_position(id::kSeekSlider, 0);
    state_.selected_pane.store(0);
    (void)config_.mode();  // read at start; the value is not used further
    config_.set_gpu_supported(true);
    state_.display_gdi.store(config_.display_is_gdi() ? 1 : 0);
    if (hooks_.renderer_create) hooks_.renderer_create();

    state_.layout_pane_count = 0;
    set_layout(state_.grid_side * state_.grid_side);
    ports_.menus.check_item(platform::MenuId::audio, audio_item(state_.audio_pane.load()), true);

    ports_.controls.set_text(id::kTimeText, strings::kTimeTextZero);
    for (int control : kPlaybackControls) ports_.controls.set_visible(control, false);

    config_.load_default(state_);
    config_.load_sites(state_);
    fill_site_tree();

    ports_.timers.start_timer(id::kTimerTimeline, id::kTimelineFirstPeriodMs);
    if (state_.default_site_item != platform::kNoTreeItem && hooks_.connect_default_site) {
        hooks_.connect_default_site(state_.default_site_item);
    }
}

void Shell::fill_site_tree() {
    state_.default_site_item = platform::kNoTreeItem;
    const std::string_view default_address = view::text_of(state_.default_address);
    for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
        const view::SiteEntry& site = state_.sites[static_cast<std::size_t>(i)];
        std::string text(view::text_of(site.name));
        text += '(';
        text += view::text_of(site.ip);
        text += ')';
        const platform::TreeItem item = ports_.tree.insert_item(
            platform::kNoTreeItem, text, static_cast<std::uint32_t>(site.port1), kSiteStateImage);
        // With several matching sites the last one is the default.
        if (item != platform::kNoTreeItem && !default_address.empty() &&
            view::text_of(site.ip) == default_address && site.port1 == state_.default_port) {
            state_.default_site_item = item;
        }
    }
}

void Shell::pane_selected(int pane) {
    if (playback_ != nullptr && pane >= 0 && pane < view::kMaxPanes)
        playback_->refresh_controls(pane);
}

void Shell::split_change(int side) {
    if (side < view::kMinGridSide || side > view::kMaxGridSide) return;
    if (side == state_.grid_side || state_.full_view_active.load()) return;
    const SplitGuard guard = split_guard(side);
    if (guard.message != nullptr && state_.grid_side >= guard.applies_from_side) {
        for (int p = guard.first_checked_pane; p < view::kMaxPanes; ++p) {
            if (state_.pane_kind[static_cast<std::size_t>(p)] != view::PANE_FREE) {
                ports_.messages.show_message(guard.message, strings::kStr60PleaseStopFile);
                return;
            }
        }
    }
    state_.grid_side = side;
    state_.selected_pane.store(0);
    state_.last_click_x = 1;
    state_.last_click_y = 1;
    if (side != 3 && playback_ != nullptr) playback_->refresh_controls(0);
    set_layout(side * side);
}

int Shell::layout_button(int pane_count) const {
    switch (pane_count) {
        case 4:
            return id::kSplit4;
        case 9:
            return id::kSplit9;
        case 16:
            return id::kSplit16;
        case 25:
            return id::kSplit25;
        case 36:
            return id::kSplit36;
        default:
            return 0;
    }
}

bool Shell::set_layout(int pane_count) {
    const int side = side_of(pane_count);
    if (side == 0 || pane_count == state_.layout_pane_count) return false;
    const int old_count = state_.layout_pane_count;

    // Video window at the picture-area size of the mode.
    const int width = state_.screen.picture_width;
    const int height = state_.screen.picture_height;
    ports_.controls.place_video_window(width, height);
    state_.video_client_width = width;
    state_.video_client_height = height;

    // Open slots stop drawing; the pipelines take the new rectangles from the published grid.
    for (int p = 0; p < view::kMaxPanes; ++p) {
        const auto i = static_cast<std::size_t>(p);
        if (view::LiveSlot* live = state_.live_slots[i].get()) {
            live->draw_enabled.store(0);
            live->full_screen_target.store(0);
        }
        if (view::RemoteFileSlot* remote = state_.remote_slots[i].get())
            remote->draw_enabled.store(0);
    }
    view::publish_layout(state_);
    // No picture is drawn with the old grid once the pictures in progress are finished.
    state_.draw_gate.drain(kLayoutSettleMs);

    // Layout buttons: the old one normal, the new one selected.
    if (const ControlLayout* old_button = find_control_layout(layout_button(old_count))) {
        ports_.controls.set_face(old_button->id, old_button->face);
    }
    if (const ControlLayout* new_button = find_control_layout(layout_button(pane_count))) {
        ports_.controls.set_face(new_button->id, new_button->pressed_face);
    }

    // Audio menu: one "channel %d" item per pane of the grid.
    if (pane_count > old_count) {
        for (int p = old_count; p < pane_count; ++p) {
            char text[32];
            std::snprintf(text, sizeof text, strings::kAudioChannelFormat, p + 1);
            ports_.menus.append_item(platform::MenuId::audio, id::kAudioChannelBase + p, text);
        }
    } else {
        for (int p = pane_count; p < old_count; ++p) {
            ports_.menus.remove_item(platform::MenuId::audio, id::kAudioChannelBase + p);
        }
        const int heard = state_.audio_pane.load();
        if (heard >= pane_count) {
            state_.previous_audio_pane = heard;
            state_.audio_pane.store(-1);
            ports_.menus.check_item(platform::MenuId::audio, id::kAudioSilence, true);
            ports_.controls.set_face(id::kAudioButton, bitmap::kAudioSilent);
        }
    }

    state_.layout_pane_count = pane_count;
    ports_.controls.invalidate_video({0, 0, width, height});

    if (!state_.display_gdi.load() && state_.renderer != nullptr && hooks_.renderer_rebuild) {
        if (!hooks_.renderer_rebuild(pane_count)) {
            rebuild_failed();
            return false;  // drawing stays disabled
        }
    }

    set_drawing(true);
    return true;
}

void Shell::audio_select_pane(int command) {
    int chosen;
    if (command == id::kAudioSilence) {
        chosen = -1;
    } else if (command >= id::kAudioChannelBase && command <= id::kAudioChannelLast) {
        chosen = command - id::kAudioChannelBase;
        // Only panes of the current grid have an item to choose.
        if (chosen >= state_.layout_pane_count) return;
    } else {
        return;
    }
    const int current = state_.audio_pane.load();
    if (chosen == current) return;
    ports_.menus.check_item(platform::MenuId::audio, audio_item(current), false);
    state_.previous_audio_pane = current;
    state_.audio_pane.store(chosen);
    ports_.menus.check_item(platform::MenuId::audio, audio_item(chosen), true);
    ports_.controls.set_face(id::kAudioButton,
                             chosen == -1 ? bitmap::kAudioSilent : bitmap::kAudioHeard);
}

void Shell::audio_menu_popup() {
    const platform::Rect button = ports_.controls.control_rect(id::kAudioButton);
    const int chosen = ports_.menus.popup(platform::MenuId::audio, button.left + 25, button.top,
                                          platform::PopupAlign::bottom_left);
    if (chosen != 0) dispatcher_.dispatch(chosen);
}

void Shell::exit_command() {
    ports_.controls.set_face(id::kExit, bitmap::kExitPressed);
    ports_.sleeper.sleep_ms(100);
    ports_.controls.post_quit(0);
}

void Shell::minimise_command() {
    ports_.controls.set_face(id::kMinimise, bitmap::kMinimisePressed);
    ports_.sleeper.sleep_ms(100);
    ports_.controls.set_face(id::kMinimise, bitmap::kMinimiseNormal);
    ports_.controls.minimise_window();
}

void Shell::on_timer(int timer_id) {
    if (timer_id == id::kTimerTimeline) {
        if (hooks_.timeline_refresh) hooks_.timeline_refresh();
        ports_.timers.start_timer(id::kTimerTimeline, id::kTimelinePeriodMs);
        return;
    }
    if (timer_id != id::kTimerPlayback) return;
    const int pane = state_.selected_pane.load();
    if (playback_ == nullptr || !playback_->plays_file(pane) || state_.seek_in_progress.load()) {
        return;
    }
    const std::int64_t length = playback_->length(pane);
    const std::int64_t position = playback_->position(pane);
    const std::int64_t slider = length <= 0 ? 0 : position * 1000 / length;
    ports_.controls.set_slider_position(
        id::kSeekSlider, static_cast<int>(slider < 0 ? 0 : (slider > 1000 ? 1000 : slider)));
    playback_->show_time(pane, position);
}

void Shell::on_seek_slider(int scroll_code) {
    const int pane = state_.selected_pane.load();
    if (playback_ == nullptr || !playback_->plays_file(pane)) return;
    state_.seek_in_progress.store(1);
    int position = ports_.controls.slider_position(id::kSeekSlider);
    position = position < 0 ? 0 : (position > 1000 ? 1000 : position);
    const std::int64_t length = playback_->length(pane);
    const std::int64_t target = length <= 0 ? 0 : position * length / 1000;
    if (scroll_code == id::kScrollThumbTrack) {
        playback_->show_time(pane, target);
        return;
    }
    // The pane's pipeline moves its own reader at its next record, so the seek needs no wait
    // on the UI thread for the pane to settle.
    const bool was_playing = playback_->play_state(pane) == 2;
    playback_->pause(pane);
    playback_->seek(pane, target);
    if (was_playing) playback_->resume(pane);
    playback_->show_time(pane, target);
    state_.seek_in_progress.store(0);
}

std::intptr_t Shell::handle_private_message(int message, std::intptr_t wparam,
                                            std::intptr_t lparam) {
    switch (message) {
        case platform::kMsgPaneFinished:
            if (wparam >= 0 && wparam < view::kMaxPanes)
                pane_finished(static_cast<int>(wparam), lparam);
            return 1;
        case platform::kMsgRemoteDateChosen:
            if (wparam != 0 && hooks_.remote_search_date) {
                hooks_.remote_search_date(reinterpret_cast<const char*>(wparam));
            }
            for (int control : kPlaybackControls) ports_.controls.set_visible(control, false);
            return 1;
        case platform::kMsgDisplayModeChanged:
            if (wparam != 0) switch_display_mode(reinterpret_cast<const char*>(wparam));
            return 1;
        default:
            return 0;
    }
}

void Shell::pane_finished(int pane, std::intptr_t lparam) {
    if (state_.full_view_active.load()) {
        set_full_view(false);
        state_.draw_gate.drain(kLeaveFullViewSettleMs);
        if (hooks_.renderer_restore_grid) hooks_.renderer_restore_grid();
        ports_.controls.invalidate_video(
            {0, 0, state_.video_client_width, state_.video_client_height});
    }
    const auto kind = state_.pane_kind[static_cast<std::size_t>(pane)];
    if (kind == view::PANE_LOCAL_FILE) {
        if (playback_ != nullptr) playback_->finish_pane(pane);
    } else if (kind == view::PANE_REMOTE_FILE) {
        if (hooks_.timeline_next_segment && !hooks_.timeline_next_segment(lparam)) {
            ports_.sleeper.sleep_ms(500);
            ports_.controls.invalidate_video(view::pane_cell(state_, pane));
        }
    }
}

}  // namespace orvel::app
