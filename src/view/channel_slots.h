#pragma once
// The user-interface side of each pane that shows something.
//
// A pane's work is split by the thread that owns it. This record is what the main window, the
// menus and the site commands see: where the pictures come from and the few flags the UI
// thread sets for the pane's pipeline. The network side (socket, ring, reconnects) and the
// pipeline side (decoders, pictures, stamp, pacing) live in the pane pipeline (src/pane),
// which keeps the slot alive until every thread is done with it. Each field names its owner:
// the thread that writes it; the others only read.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/ports/tree_control.h"

namespace orvel::view {

inline constexpr int kMaxPanes = 36;

// Playback control values of run_state.
inline constexpr std::int32_t kRunStop = 0;
inline constexpr std::int32_t kRunHold = 1;
inline constexpr std::int32_t kRunRun = 2;

// Rectangle of a pane's picture area as the software path keeps it.
struct PaneRect {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    friend bool operator==(const PaneRect&, const PaneRect&) = default;
};

// What every pane kind has.
struct ChannelSlot {
    virtual ~ChannelSlot() = default;

    std::int32_t pane = 0;           // UI thread; fixed while the slot exists
    std::array<char, 72> caption{};  // UI thread; written before the pipeline starts
    // UI thread writes, the pane's pipeline reads once per picture.
    std::atomic<std::uint8_t> draw_enabled{1};        // cleared while surfaces are rebuilt
    std::atomic<std::uint8_t> full_screen_target{0};  // shown in the full-screen window
    std::atomic<std::uint8_t> snapshot_requested{0};  // the pipeline takes the next picture
    std::atomic<std::int32_t> run_state{kRunRun};     // playback panes: hold or run
    // Pane pipeline writes (statistics).
    std::atomic<std::uint32_t> frames_queued{0};   // network thread: frames received whole
    std::atomic<std::uint32_t> pictures_drawn{0};  // pipeline: pictures handed to the renderer
};

// A live camera channel.
struct LiveSlot : ChannelSlot {
    // UI thread; fixed while the slot exists.
    std::array<char, 24> peer_address{};
    std::int32_t channel = 0;
    std::int32_t stream_port = 9001;
    bool recording = false;
    platform::TreeItem tree_item = platform::kNoTreeItem;
    // Pane pipeline writes when a stream header is applied; the UI thread reads them for the
    // stream-select command.
    std::atomic<std::uint8_t> dual_stream{0};
    std::atomic<std::uint32_t> stream_id{0};
    // UI thread sets 1 (to the main stream) or 2 (to the sub stream); the pipeline clears it
    // when the switch is done.
    std::atomic<std::int32_t> switch_request{0};
};

// A recording streamed from the DVR's disk (remote playback fills in its pipeline side).
struct RemoteFileSlot : ChannelSlot {
    // UI thread.
    std::int32_t camera = 0;  // 0-based
    std::int32_t segment_start_s = 0;
    std::array<char, 24> address{};
    std::array<char, 128> file_path{};
    std::uint16_t file_port = 0;
    std::atomic<std::uint8_t> recording{0};
    std::atomic<std::int32_t> play_state{1};  // 1 = normal speed
};

// A local .dvr file (local playback fills in its pipeline side).
struct LocalFileSlot : ChannelSlot {
    // UI thread.
    std::array<char, 260> file_path{};
    std::atomic<std::int32_t> play_state{0};
    std::atomic<std::int32_t> speed_divisor{1};
};

// Allocates a slot with its initial values; null when the memory cannot be had. UI thread.
std::unique_ptr<LiveSlot> make_live_slot();
std::unique_ptr<RemoteFileSlot> make_remote_slot();
std::unique_ptr<LocalFileSlot> make_local_slot();

}  // namespace orvel::view
