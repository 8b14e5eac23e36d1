#include "view/app_state.h"

#include <new>

namespace orvel::view {

AppState::AppState() : print_buffer(new (std::nothrow) std::uint8_t[kPrintBufferBytes]()) {
    latch_a.fill(1);
    latch_b.fill(1);
}

int count_open_panes(const AppState& state) {
    int count = 0;
    for (PaneKind kind : state.pane_kind) count += kind != PANE_FREE ? 1 : 0;
    return count;
}

bool check_invariants(const AppState& state) {
    for (int p = 0; p < kMaxPanes; ++p) {
        const bool live = state.live_slots[p] != nullptr;
        const bool remote = state.remote_slots[p] != nullptr;
        const bool local = state.local_slots[p] != nullptr;
        if (int(live) + int(remote) + int(local) > 1) return false;
        switch (state.pane_kind[p]) {
            case PANE_FREE:
                if (live || remote || local) return false;
                break;
            case PANE_LIVE:
                if (!live) return false;
                break;
            case PANE_REMOTE_FILE:
                if (!remote) return false;
                break;
            case PANE_LOCAL_FILE:
                if (!local) return false;
                break;
            default:
                return false;
        }
    }
    const int open = count_open_panes(state);
    if (state.open_pane_count != open || open < 0 || open > kMaxPanes) return false;
    if (state.grid_side < kMinGridSide || state.grid_side > kMaxGridSide) return false;
    const int selected = state.selected_pane.load();
    return selected >= 0 && selected < kMaxPanes;
}

}  // namespace orvel::view
