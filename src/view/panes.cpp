#include "view/panes.h"

#include "app/strings.h"

namespace orvel::view {

namespace {
int clamp_side(int side) {
    return side < kMinGridSide ? kMinGridSide : (side > kMaxGridSide ? kMaxGridSide : side);
}
}  // namespace

platform::Rect pane_cell(const AppState& state, int pane) {
    const int s = clamp_side(state.grid_side);
    const int w = state.video_client_width / s;
    const int h = state.video_client_height / s;
    const int col = pane % s;
    const int row = pane / s;
    return {col * w, row * h, (col + 1) * w, (row + 1) * h};
}

int pane_at(const AppState& state, int x, int y) {
    const int n = clamp_side(state.grid_side);
    const bool full_screen = state.full_screen_active.load() != 0;
    const int width = full_screen ? state.screen.full_screen_width : state.video_client_width;
    const int height = full_screen ? state.screen.full_screen_height : state.video_client_height;
    const int cell_w = width / n > 0 ? width / n : 1;
    const int cell_h = height / n > 0 ? height / n : 1;
    const int col = x < 0 ? 0 : (x / cell_w < n ? x / cell_w : n - 1);
    const int row = y < 0 ? 0 : (y / cell_h < n ? y / cell_h : n - 1);
    return n * row + col;
}

PaneRect pane_rect_in_area(int pane, int grid_side, int area_width, int area_height) {
    const int n = clamp_side(grid_side);
    PaneRect r;
    r.width = area_width / n;
    r.height = area_height / n;
    r.left = (pane % n) * r.width + 1;
    r.top = (pane / n) * r.height + 1;
    return r;
}

platform::Rect gpu_pane_rect(int pane, int grid_side, int area_width, int area_height) {
    const int n = clamp_side(grid_side);
    const int w = area_width / n;
    const int h = area_height / n;
    const int c = pane % n;
    const int r = pane / n;
    return {c * w, r * h, (c + 1) * w, (r + 1) * h};
}

int choose_pane(AppState& state, PaneLayoutHooks& hooks, platform::MessageBoxPort& messages,
                PaneChoiceFor purpose) {
    if (state.open_pane_count >= kMaxPanes) {
        messages.show_message(app::strings::kStr72NoPaneFree, "");
        return -1;
    }
    if (state.full_view_active.load()) hooks.leave_full_view();

    int pane = -1;
    const int visible = state.grid_side * state.grid_side;
    if (state.open_pane_count < visible) {
        for (int p = 0; p < visible && p < kMaxPanes; ++p) {
            if (state.pane_kind[p] == PANE_FREE) {
                pane = p;
                break;
            }
        }
        // With the invariants kept this cannot happen; refuse rather than overwrite a pane.
        if (pane < 0) return -1;
    } else {
        if (state.grid_side >= kMaxGridSide) return -1;
        state.grid_side += 1;
        hooks.apply_layout(state.grid_side * state.grid_side);
        // Panes 0 .. count-1 are in use, so the first pane of the new area is free;
        // still look for the lowest free pane in case the panes in use are not packed.
        for (int p = 0; p < state.grid_side * state.grid_side; ++p) {
            if (state.pane_kind[p] == PANE_FREE) {
                pane = p;
                break;
            }
        }
        if (pane < 0) return -1;
    }
    if (purpose == PaneChoiceFor::live_open) state.selected_pane.store(pane);
    return pane;
}

}  // namespace orvel::view
