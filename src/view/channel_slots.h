#pragma once
// The per-pane slot records. A slot is allocated whole, with its ring and pictures inline,
// so that streaming never allocates, and freed whole by the UI thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/ports/tree_control.h"
#include "view/render/stamp.h"

namespace orvel::view {

struct RendererState;  // the renderer's state (frame renderer area); define it as a struct
struct WaveOutHolder;  // owned wave output of a remote pane (remote playback area); a struct

inline constexpr int kMaxPanes = 36;
inline constexpr int kRingEntryBytes = 262'144;
inline constexpr int kLiveRingEntries = 12;
inline constexpr int kRemoteRingEntries = 10;
inline constexpr int kPictureBytes = 1280 * 720 * 4;  // 3,686,400
inline constexpr int kStreamHeaderBytes = 28;
inline constexpr int kStdIndexEntries = 1000;
inline constexpr int kDualIndexEntries = 16'000;
inline constexpr int kIndexEntryBytes = 8;
inline constexpr int kDualHeaderBlockBytes =
    kStreamHeaderBytes + kDualIndexEntries * kIndexEntryBytes;  // 128,028
inline constexpr int kStdHeaderBlockBytes =
    kStreamHeaderBytes + kStdIndexEntries * kIndexEntryBytes;  // 8,028
inline constexpr std::int32_t kNoDecoder = -1;

// Display thread control values of run_state.
inline constexpr std::int32_t kRunStop = 0;
inline constexpr std::int32_t kRunHold = 1;
inline constexpr std::int32_t kRunRun = 2;

// Rectangle of a pane's picture area as slots keep it.
struct PaneRect {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    friend bool operator==(const PaneRect&, const PaneRect&) = default;
};

using FrameRingEntry = std::array<std::uint8_t, kRingEntryBytes>;
using Picture = std::array<std::uint8_t, kPictureBytes>;

// The part every slot kind has.
struct ChannelSlot {
    StampState stamp;
};

// Fills a picture with the blank pattern: every 4-byte pixel is 8, 1, 1, 1.
void fill_blank_picture(Picture& picture);

// A live camera channel. Worker-shared fields are atomics: receiving thread and display
// thread read them, the UI thread writes them (and the reverse for ring_count).
struct LiveSlot : ChannelSlot {
    // Written by the receiving thread (reconnects); the UI thread only shuts it down.
    std::atomic<int> socket_fd{-1};
    std::array<FrameRingEntry, kLiveRingEntries> ring;

    std::array<char, 24> peer_address{};
    std::array<char, 64> caption{};
    PaneRect pane_rect;
    std::int32_t picture_width = 352;
    std::int32_t file_start_time = 0;
    std::int32_t picture_height = 288;
    std::int32_t time_base = 0;
    std::int32_t ring_write = 0;  // receiving thread
    std::int32_t ring_read = 0;   // display thread
    std::int32_t ring_fill = 0;   // receiving thread
    std::atomic<std::int32_t> run_state{kRunRun};
    std::int32_t pane = 0;
    std::int32_t stream_port = 9001;
    std::int32_t index_count = 0;
    std::atomic<std::int32_t> ring_count{0};  // only increment / decrement
    std::uint32_t file_bytes = 0;
    Picture picture;
    Picture blank_picture;
    std::mutex ring_lock;
    std::uint32_t stream_id = 0;
    RendererState* renderer = nullptr;
    std::array<std::uint8_t, kStreamHeaderBytes> stream_header{};
    std::array<std::uint8_t, kStdIndexEntries * kIndexEntryBytes> index_std{};
    std::array<std::uint8_t, kStreamHeaderBytes> header_dual{};
    std::array<std::uint8_t, kDualIndexEntries * kIndexEntryBytes> index_dual{};

    // Flags.
    std::atomic<std::uint8_t> showing_sub{1};
    std::atomic<std::uint8_t> showing_main{0};
    std::atomic<std::uint8_t> recording{0};
    std::atomic<std::uint8_t> draw_enabled{1};
    std::atomic<std::uint8_t> receiving{0};
    std::atomic<std::uint8_t> full_screen_target{0};
    std::uint8_t stamp_date_built = 0;
    std::uint8_t rotated_this_hour = 0;
    std::atomic<std::uint8_t> audio_seen{0};
    std::atomic<std::uint8_t> snapshot_requested{0};

    std::thread display_thread;  // not joinable until started
    std::thread receive_thread;
    // Set by the receiving thread as its last act, so a closer can wait for it with a bound.
    platform::ManualResetEvent receive_thread_done;
    // Frames queued by the receiving thread and pictures handed to the renderer (statistics).
    std::atomic<std::uint32_t> frames_queued{0};
    std::atomic<std::uint32_t> pictures_drawn{0};
    // Steady-clock time (ns) at which each queued entry's last byte arrived (latency figures).
    std::array<std::uint64_t, kLiveRingEntries> entry_received_ns{};
    int record_fd = -1;  // -1 when not recording
    std::uintptr_t video_window = 0;
    std::int32_t channel = 0;
    platform::TreeItem tree_item = platform::kNoTreeItem;
    PaneRect cell_rect;
    std::atomic<std::uint8_t> dual_stream{0};
    std::atomic<std::int32_t> switch_request{0};  // 0 none, 1 to main, 2 to sub
    std::atomic<std::uint8_t> keep_connected{1};
    // Standard type-2, standard type-1, dual main-stream, dual sub-stream.
    std::array<std::int32_t, 4> decoders{kNoDecoder, kNoDecoder, kNoDecoder, kNoDecoder};
    std::int32_t switch_counter = 0;
    std::int32_t main_stream_width = 1280;  // 960 when the sub stream is 320 wide
    std::int32_t main_stream_height = 720;
};

// A recording streamed from the DVR's disk.
struct RemoteFileSlot : ChannelSlot {
    std::atomic<int> socket_fd{-1};
    std::array<FrameRingEntry, kRemoteRingEntries> ring;

    std::int32_t segment_start_s = 0;
    std::uint32_t file_bytes = 0;
    std::int32_t index_count = 0;
    PaneRect pane_rect;
    std::int32_t picture_width = 1280;
    std::int32_t picture_height = 720;
    std::int32_t ring_write = 0;
    std::int32_t ring_read = 0;
    std::atomic<std::int32_t> play_state{1};  // 1 = normal speed
    std::int32_t ring_fill = 0;
    std::atomic<std::int32_t> run_state{kRunRun};
    std::int32_t pane = 0;
    std::int32_t camera = 0;  // 0-based
    std::atomic<std::int32_t> queued_count{0};
    std::atomic<std::uint8_t> snapshot_requested{0};
    std::atomic<std::uint8_t> display_flag{0};
    Picture picture;
    Picture blank_picture;
    std::mutex slot_lock;
    RendererState* renderer = nullptr;
    std::array<std::uint8_t, kDualHeaderBlockBytes> header_block{};  // stream header + index
    std::atomic<std::uint8_t> receiving{0};
    std::atomic<std::uint8_t> recording{0};
    std::atomic<std::uint8_t> draw_enabled{1};
    std::atomic<std::uint8_t> record_done{1};
    std::atomic<std::uint8_t> dual_stream{0};
    std::atomic<std::uint8_t> audio_seen{0};
    int record_fd = -1;
    std::thread receive_thread;
    std::thread display_thread;
    std::uintptr_t video_window = 0;
    std::array<char, 24> address{};
    std::array<char, 128> file_path{};
    std::array<char, 72> caption{};
    std::uint16_t file_port = 0;
    WaveOutHolder* wave_out = nullptr;
    // Type 2, type 1, type 0.
    std::array<std::int32_t, 3> decoders{kNoDecoder, kNoDecoder, kNoDecoder};
};

// A local .dvr file. Local playback extends the record with its own fields.
struct LocalFileSlot : ChannelSlot {
    std::array<char, 260> file_path{};
    int file_fd = -1;
    std::array<std::uint8_t, kStdHeaderBlockBytes> header_std{};
    std::unique_ptr<std::uint8_t[]> header_dual;  // kDualHeaderBlockBytes when allocated
    std::array<std::int32_t, 3> decoders{kNoDecoder, kNoDecoder, kNoDecoder};
    std::atomic<std::int32_t> play_state{0};
    std::atomic<std::int32_t> speed_divisor{1};
    std::int32_t pane = 0;
    std::mutex slot_lock;
    std::thread display_thread;
    std::atomic<std::uint8_t> audio_seen{0};
};

// Allocate a slot whole with the initial values (blank picture filled). Null when the
// memory cannot be had. Thread: UI thread.
std::unique_ptr<LiveSlot> make_live_slot();
std::unique_ptr<RemoteFileSlot> make_remote_slot();
std::unique_ptr<LocalFileSlot> make_local_slot();

}  // namespace orvel::view
