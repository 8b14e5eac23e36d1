// The shell's view modes: the pane full view and the full-screen window. Each change stops
// the drawing of every open slot, waits until the pane pipelines have finished the pictures
// they were drawing (the draw gate), changes the geometry and render targets, and lets them
// draw again.
#include "app/command_ids.h"
#include "app/shell.h"
#include "app/strings.h"
#include "view/panes.h"

namespace orvel::app {

void Shell::set_drawing(bool enabled) {
    const std::uint8_t value = enabled ? 1 : 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(view::kMaxPanes); ++i) {
        if (state_.live_slots[i]) state_.live_slots[i]->draw_enabled.store(value);
        if (state_.remote_slots[i]) state_.remote_slots[i]->draw_enabled.store(value);
    }
}

void Shell::rebuild_failed() {
    // The renderer has shown what failed; this says what the operator can do.
    ports_.messages.show_message(strings::kStr61DisplayNotSupported, "",
                                 platform::MessageButtons::ok, platform::MessageIcon::warning);
    if (hooks_.renderer_release) hooks_.renderer_release();
    state_.renderer = nullptr;
    set_drawing(false);
}

void Shell::set_full_view(bool on) {
    const std::uint8_t value = on ? 1 : 0;
    if (state_.full_view_active.exchange(value) != value && hooks_.full_view_changed)
        hooks_.full_view_changed();
}

bool Shell::pane_shows_slot(int pane) const {
    const int side = state_.grid_side;
    if (pane < 0 || pane >= side * side || pane >= view::kMaxPanes) return false;
    return state_.pane_kind[static_cast<std::size_t>(pane)] != view::PANE_FREE;
}

bool Shell::enter_full_view(int pane) {
    if (state_.full_view_active.load() != 0 || !pane_shows_slot(pane)) return false;
    if (!state_.display_gdi.load() && state_.renderer != nullptr && hooks_.renderer_full_view)
        hooks_.renderer_full_view(pane);
    if (hooks_.stream_select_main) hooks_.stream_select_main(pane);
    state_.selected_pane.store(pane);
    set_full_view(true);
    ports_.controls.invalidate_video(
        {0, 0, state_.screen.full_screen_width, state_.screen.full_screen_height});
    return true;
}

void Shell::leave_full_view() {
    if (hooks_.stream_select_sub) hooks_.stream_select_sub(state_.selected_pane.load());
    if (!state_.display_gdi.load() && state_.renderer != nullptr && hooks_.renderer_restore_grid)
        hooks_.renderer_restore_grid();
    set_full_view(false);
    state_.draw_gate.drain(kLeaveFullViewSettleMs);
    ports_.controls.invalidate_video(
        {0, 0, state_.screen.full_screen_width, state_.screen.full_screen_height});
}

void Shell::zoom_toggle() {
    if (state_.full_view_active.load() != 0) {
        leave_full_view();
        return;
    }
    enter_full_view(view::pane_at(state_, state_.last_click_x, state_.last_click_y));
}

void Shell::pane_zoom() {
    if (state_.full_view_active.load() != 0) {
        leave_full_view();
        return;
    }
    enter_full_view(state_.menu_pane);
}

void Shell::video_double_click(int x, int y) {
    if (state_.full_view_active.load() != 0) {
        leave_full_view();
        return;
    }
    // A double click on an empty pane does nothing.
    enter_full_view(view::pane_at(state_, x, y));
}

void Shell::enter_full_screen() {
    if (state_.full_screen_active.load() != 0) return;
    if (hooks_.open_full_screen_window) hooks_.open_full_screen_window();
    set_drawing(false);
    state_.draw_gate.drain(kRetargetSettleMs);
    // Every pane is drawn into the full-screen window; the enlarged pane (if any) goes back
    // to the grid there, and dual-stream panes back to their sub streams.
    if (state_.full_view_active.load() != 0 && hooks_.stream_select_sub)
        hooks_.stream_select_sub(state_.selected_pane.load());
    for (auto& slot : state_.live_slots)
        if (slot) slot->full_screen_target.store(1);
    state_.full_screen_active.store(1);
    view::publish_layout(state_);
    if (!state_.display_gdi.load() && state_.renderer != nullptr && hooks_.renderer_retarget) {
        if (!hooks_.renderer_retarget(true)) {
            rebuild_failed();  // the window stays open and drawing stays disabled
            return;
        }
    }
    set_full_view(false);
    ports_.controls.invalidate_video(
        {0, 0, state_.screen.full_screen_width, state_.screen.full_screen_height});
    set_drawing(true);
}

void Shell::leave_full_screen() {
    if (state_.full_screen_active.load() == 0) return;
    if (hooks_.close_full_screen_window) hooks_.close_full_screen_window();
    set_drawing(false);
    state_.draw_gate.drain(kRetargetSettleMs);
    if (state_.full_view_active.load() != 0 && hooks_.stream_select_sub)
        hooks_.stream_select_sub(state_.selected_pane.load());
    for (auto& slot : state_.live_slots)
        if (slot) slot->full_screen_target.store(0);
    state_.full_screen_active.store(0);
    view::publish_layout(state_);
    if (!state_.display_gdi.load() && state_.renderer != nullptr && hooks_.renderer_retarget) {
        if (!hooks_.renderer_retarget(false)) {
            rebuild_failed();
            return;
        }
    }
    set_full_view(false);
    ports_.controls.invalidate_video({0, 0, state_.video_client_width, state_.video_client_height});
    set_drawing(true);
}

void Shell::switch_display_mode(std::string_view display_value) {
    set_drawing(false);
    state_.draw_gate.drain(kRetargetSettleMs);
    if (state_.full_view_active.load() != 0) {
        if (hooks_.stream_select_sub) hooks_.stream_select_sub(state_.selected_pane.load());
        if (state_.renderer != nullptr && hooks_.renderer_restore_grid)
            hooks_.renderer_restore_grid();
        set_full_view(false);
    }
    bool gpu = display_value == cfg::kDisplayDefault;
    if (hooks_.renderer_switch) {
        if (gpu && !hooks_.renderer_switch(true)) {
            // The software path always works: the program goes on with it, and starts
            // with it next time.
            gpu = false;
            config_.set_display(true);
        }
        if (!gpu) hooks_.renderer_switch(false);
    }
    state_.display_gdi.store(gpu ? 0 : 1);
    ports_.controls.invalidate_video(
        {0, 0, state_.screen.full_screen_width, state_.screen.full_screen_height});
    set_drawing(true);
}

}  // namespace orvel::app
