#pragma once
// Pane geometry of the grid and the choice of a pane for a new stream.

#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"

namespace orvel::view {

// The grid geometry, in one place: the cell of pane p in an n x n grid over a W x H area is
// (c * w, r * h, (c + 1) * w, (r + 1) * h) with c = p mod n, r = p div n, w = W / n,
// h = H / n (integer divisions; n is clamped to 2..6). Every other pane rectangle derives
// from it. Thread: any.
platform::Rect grid_cell(int pane, int grid_side, int area_width, int area_height);

// The pane whose cell holds (x, y) in the area (points past the last cell belong to the last
// row or column). Thread: any.
int pane_at(int x, int y, int grid_side, int area_width, int area_height);

// Grid cell of a pane in the video window's client area (video_client_*). UI thread.
platform::Rect pane_cell(const AppState& state, int pane);

// The pane under (x, y) of the picking area: the video window, or the full-screen window while
// it is open. Points outside count as its nearest edge. UI thread.
int pane_at(const AppState& state, int x, int y);

// Grid cell of a pane in the picking area (the video window, or the full-screen window while
// it is open). UI thread.
platform::Rect picking_cell(const AppState& state, int pane);

// Moves the remembered click point into the window that is about to hold the panes: to the
// centre of the cell, in that window's grid, of the pane the point marks now (the two windows
// differ in size, so the same point would mark another pane there). Called before the
// full-screen window opens (`to_full_screen`) or closes. UI thread.
void carry_click_point(AppState& state, bool to_full_screen);

// Software-path pane rectangle: the cell's size, moved one pixel right and down.
PaneRect pane_rect_in_area(int pane, int grid_side, int area_width, int area_height);

// GPU-path pane rectangle: the cell itself.
platform::Rect gpu_pane_rect(int pane, int grid_side, int area_width, int area_height);

// Publishes the grid as it stands in `state` (side, video area, screen sizes) to the pane
// pipelines. UI thread, after every layout change.
void publish_layout(AppState& state);

// Where the software path draws a pane's picture under `layout`: the pane rectangle less one
// pixel on the right and bottom, or, in the full view, the video area; for a full-screen
// target both are taken on the full-screen window. Thread: any.
platform::Rect software_dest_rect(const GridLayout& layout, int pane, bool full_view,
                                  bool full_screen_target);

// Operations of the layout that choose_pane needs; the main window logic provides them.
class PaneLayoutHooks {
public:
    virtual ~PaneLayoutHooks() = default;
    // Leaves the pane full view (flag cleared, renderer back to the grid, the dual-stream
    // pane back to its sub stream). Thread: UI thread.
    virtual void leave_full_view() = 0;
    // Applies a new grid side already stored in state.grid_side. Thread: UI thread.
    virtual bool apply_layout(int pane_count) = 0;
};

enum class PaneChoiceFor { live_open, remote_open };

// Chooses the pane for a new stream; -1 when refused (36 panes open, or no free visible
// pane although the count says there is one). Grows the grid by one side when every
// visible pane is used. A live open also makes the pane the selected one.
// Thread: UI thread.
int choose_pane(AppState& state, PaneLayoutHooks& hooks, platform::MessageBoxPort& messages,
                PaneChoiceFor purpose);

}  // namespace orvel::view
