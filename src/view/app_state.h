#pragma once
// The one process-wide application state: per-pane tables, grid, selection, site list and
// the main window's bookkeeping. The UI thread owns it; fields that worker threads read
// are atomics.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/ports/tree_control.h"
#include "view/channel_slots.h"
#include "view/draw_gate.h"
#include "view/layout_board.h"
#include "view/render/renderer_port.h"
#include "view/screen_mode.h"
#include "view/site_entry.h"

namespace orvel::net {
struct ConnectionTable;  // the 36 command connections and site records; define as a struct
}
namespace orvel::codec {
struct AudioOutput;  // the one wave output; define as a struct
}

namespace orvel::view {

enum PaneKind : std::int32_t {
    PANE_FREE = 0,
    PANE_LIVE = 1,
    PANE_REMOTE_FILE = 2,
    PANE_LOCAL_FILE = 3,
};

inline constexpr int kMinGridSide = 2;
inline constexpr int kMaxGridSide = 6;
inline constexpr int kPrintBufferBytes = 1280 * 720 * 3;  // 2,764,800

// Source of a pane: DVR address and channel; 24 bytes as the pane menu reads it.
struct PaneSource {
    std::array<char, 20> address{};
    std::int32_t channel = 0;
};

// A site record preloaded from section IP%d at start-up, before any login.
struct SitePreload {
    std::array<char, 24> address{};
    std::int16_t device = 0;  // non-zero: record in use
    std::int16_t switch_count = 0;
};

struct AppState {
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // --- Pane bookkeeping (UI thread) ---
    std::array<PaneKind, kMaxPanes> pane_kind{};
    std::array<std::unique_ptr<LiveSlot>, kMaxPanes> live_slots;
    std::array<std::unique_ptr<RemoteFileSlot>, kMaxPanes> remote_slots;
    std::array<std::unique_ptr<LocalFileSlot>, kMaxPanes> local_slots;
    std::int32_t open_pane_count = 0;
    std::int32_t grid_side = 2;
    // Written by the UI thread, read by the pane pipelines.
    std::atomic<std::int32_t> selected_pane{0};
    std::atomic<std::uint8_t> full_view_active{0};
    // The enlarged pane is digitally zoomed: the software path keeps its pictures at full
    // size (not shrunk to the window) so that the zoom shows the stream's own detail.
    std::atomic<std::uint8_t> full_view_zoomed{0};
    // Passed by the pane pipelines while they draw; drained by the UI thread after it changed
    // draw_enabled, full_view_active, the layout or display_gdi, before it rebuilds targets.
    DrawGate draw_gate;
    std::atomic<std::int32_t> remote_recording_count{0};
    std::array<PaneSource, kMaxPanes> pane_sources{};
    // Written only by the recorder of the pane that owns the entry (network thread).
    std::array<std::uint32_t, kMaxPanes> last_time_dual{};
    std::array<std::uint32_t, kMaxPanes> last_time_std{};

    // --- Layout and view (UI thread unless atomic) ---
    ScreenMode screen = kScreenMode1024;
    std::int32_t layout_pane_count = 0;  // pane count last applied by set_layout (0: none yet)
    // The grid as the pane pipelines read it; the UI thread publishes it (publish_layout)
    // whenever grid_side or the video area changes.
    LayoutBoard layout;
    int video_client_width = 808;  // client size of the video window
    int video_client_height = 657;
    std::int32_t menu_pane = 0;  // pane whose context menu is open
    RendererState* renderer = nullptr;
    std::atomic<std::uint8_t> display_gdi{0};  // 1: GDI drawing, 0: GPU path
    std::atomic<std::uint8_t> full_screen_active{0};
    int colour_depth_bits = 32;
    std::int16_t last_click_x = 1;  // remembered click point in the video area
    std::int16_t last_click_y = 1;
    std::int32_t last_click_grid = 2;
    std::atomic<std::uint8_t> seek_in_progress{0};
    // Latching camera-panel buttons per pane (1 = on at start).
    std::array<std::int32_t, kMaxPanes> latch_a{};
    std::array<std::int32_t, kMaxPanes> latch_b{};

    // --- Sites and network ---
    std::array<SiteEntry, kMaxSites> sites{};
    std::int32_t site_count = 0;
    std::array<SitePreload, kMaxPanes> site_preload{};
    net::ConnectionTable* connections = nullptr;
    std::array<char, 128> default_address{};  // default connection; port 0 = none
    std::int32_t default_port = 0;
    platform::TreeItem default_site_item = platform::kNoTreeItem;
    std::string current_site_text;  // text of the last right-clicked tree item (<= 128)
    std::array<char, 24> remote_site_address{};  // site whose recordings are being played
    std::int32_t remote_file_port = 0;
    platform::ManualResetEvent login_event;  // signalled by the login thread

    // --- Audio and playback ---
    codec::AudioOutput* audio_output = nullptr;
    std::atomic<int> audio_pane{-1};  // pane heard, -1 silence; read by the pane pipelines
    int previous_audio_pane = -1;
    std::atomic<std::uint8_t> fast_play{0};
    std::unique_ptr<std::uint8_t[]> print_buffer;  // kPrintBufferBytes, zeroed
};

// Number of panes whose kind is not free (what open_pane_count must equal).
int count_open_panes(const AppState& state);

// True when the invariants hold: a pane's kind is not free exactly when one of its slot
// pointers is set and matches the kind; open_pane_count equals the number of non-free
// panes and lies in 0..36; grid_side in 2..6; selected_pane in 0..35.
bool check_invariants(const AppState& state);

}  // namespace orvel::view
