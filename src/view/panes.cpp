#include "view/panes.h"

#include <algorithm>
#include <utility>

#include "view/strings.h"

namespace orvel::view {

namespace {
int clamp_side(int side) {
    return side < kMinGridSide ? kMinGridSide : (side > kMaxGridSide ? kMaxGridSide : side);
}
}  // namespace

platform::Rect grid_cell(int pane, int grid_side, int area_width, int area_height) {
    const int n = clamp_side(grid_side);
    const int w = area_width / n;
    const int h = area_height / n;
    const int c = pane % n;
    const int r = pane / n;
    return {c * w, r * h, (c + 1) * w, (r + 1) * h};
}

int pane_at(int x, int y, int grid_side, int area_width, int area_height) {
    const int n = clamp_side(grid_side);
    const int w = std::max(area_width / n, 1);
    const int h = std::max(area_height / n, 1);
    const int col = std::clamp(x / w, 0, n - 1);
    const int row = std::clamp(y / h, 0, n - 1);
    return row * n + col;
}

int pane_at(const AppState& state, int x, int y) {
    const bool full_screen = state.full_screen_active.load() != 0;
    const int width = full_screen ? state.screen.full_screen_width : state.video_client_width;
    const int height = full_screen ? state.screen.full_screen_height : state.video_client_height;
    return pane_at(x, y, state.grid_side, width, height);
}

platform::Rect pane_cell(const AppState& state, int pane) {
    return grid_cell(pane, state.grid_side, state.video_client_width, state.video_client_height);
}

platform::Rect picking_cell(const AppState& state, int pane) {
    if (state.full_screen_active.load() == 0) return pane_cell(state, pane);
    return grid_cell(pane, state.grid_side, state.screen.full_screen_width,
                     state.screen.full_screen_height);
}

void carry_click_point(AppState& state, bool to_full_screen) {
    int from_width = state.video_client_width, from_height = state.video_client_height;
    int to_width = state.screen.full_screen_width, to_height = state.screen.full_screen_height;
    if (!to_full_screen) {
        std::swap(from_width, to_width);
        std::swap(from_height, to_height);
    }
    const int pane =
        pane_at(state.last_click_x, state.last_click_y, state.grid_side, from_width, from_height);
    const platform::Rect cell = grid_cell(pane, state.grid_side, to_width, to_height);
    state.last_click_x = static_cast<std::int16_t>((cell.left + cell.right) / 2);
    state.last_click_y = static_cast<std::int16_t>((cell.top + cell.bottom) / 2);
}

PaneRect pane_rect_in_area(int pane, int grid_side, int area_width, int area_height) {
    const platform::Rect cell = grid_cell(pane, grid_side, area_width, area_height);
    return {cell.width(), cell.height(), cell.left + 1, cell.top + 1};
}

platform::Rect gpu_pane_rect(int pane, int grid_side, int area_width, int area_height) {
    return grid_cell(pane, grid_side, area_width, area_height);
}

void publish_layout(AppState& state) {
    GridLayout g;
    g.grid_side = clamp_side(state.grid_side);
    g.area_width = state.video_client_width;
    g.area_height = state.video_client_height;
    g.full_view_width = state.screen.picture_width;
    g.full_view_height = state.screen.picture_height;
    g.full_screen_width = state.screen.full_screen_width;
    g.full_screen_height = state.screen.full_screen_height;
    state.layout.publish(g);
}

platform::Rect software_dest_rect(const GridLayout& layout, int pane, bool full_view,
                                  bool full_screen_target) {
    if (full_view) {
        if (full_screen_target) return {0, 0, layout.full_screen_width, layout.full_screen_height};
        return {0, 0, layout.full_view_width, layout.full_view_height};
    }
    // A pane of the full-screen window takes its cell of that window.
    const PaneRect r =
        full_screen_target
            ? pane_rect_in_area(pane, layout.grid_side, layout.full_screen_width,
                                layout.full_screen_height)
            : pane_rect_in_area(pane, layout.grid_side, layout.area_width, layout.area_height);
    return {r.left, r.top, r.left + r.width - 1, r.top + r.height - 1};
}

int choose_pane(AppState& state, PaneLayoutHooks& hooks, platform::MessageBoxPort& messages,
                PaneChoiceFor purpose) {
    if (state.open_pane_count >= kMaxPanes) {
        messages.show_message(view::strings::kStr72NoPaneFree, "");
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
