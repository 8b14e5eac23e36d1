#pragma once
// Pane geometry of the grid and the choice of a pane for a new stream.

#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"

namespace orvel::view {

// Grid cell of a pane in the video window's client area (W x H = video_client_*):
// left = (p mod s) * (W / s), top = (p div s) * (H / s), right/bottom one cell further.
// Thread: any (reads grid_side and the client size).
platform::Rect pane_cell(const AppState& state, int pane);

// The pane under (x, y) in the client area: n * (y / (H / n)) + x / (W / n), with W x H the
// picking size (the video window, or the full-screen size while that window is open).
// Points outside the area count as its nearest edge, so the result is always a pane of
// the grid. Thread: UI thread.
int pane_at(const AppState& state, int x, int y);

// Software-path pane rectangle on a W x H client area for an n x n grid:
// width W / n, height H / n, left (p mod n) * width + 1, top (p div n) * height + 1.
PaneRect pane_rect_in_area(int pane, int grid_side, int area_width, int area_height);

// GPU-path pane rectangle: (c * w, r * h, (c + 1) * w, (r + 1) * h) with w = W / n, h = H / n.
platform::Rect gpu_pane_rect(int pane, int grid_side, int area_width, int area_height);

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
