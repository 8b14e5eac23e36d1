#pragma once
// Per-pane picture buffers shared by the pane pipelines (writers) and the UI thread (reader).
//
// Each slot holds three buffers of one size: the one a pipeline is filling, the newest
// complete picture, and the one the UI thread presents. A writer fills its buffer without any
// lock and then swaps it with the "newest" one under the slot's small lock; the UI thread swaps
// the newest one in when it presents. Neither side ever waits for the other's copy or upload,
// and nothing is allocated per frame: buffers change only when the slot's size changes.
// Plain C++ so that it can be measured without a display.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/ports/main_controls.h"
#include "view/render/renderer_port.h"

namespace orvel::gui::render {

inline constexpr size_t kCaptionMaxBytes = 95;

// What goes with one picture to the screen.
struct FrameInfo {
    int width = 0;  // picture size in pixels
    int height = 0;
    platform::Rect dest{};     // software path: destination rectangle
    platform::Rect rec_box{};  // software path: "REC" box (empty: none)
    bool full_screen_target = false;
    bool rec = false;
    bool bgrx = false;  // GPU path: 4-byte BGRX pixels instead of YUY2
    uint32_t packed_time = 0;
    view::ReceivedAtNs received_at = 0;
    uint64_t seq = 0;  // publication order across all slots
    uint8_t caption_length = 0;
    std::array<char, kCaptionMaxBytes> caption{};

    void set_caption(std::string_view text);
    std::string_view caption_text() const { return {caption.data(), caption_length}; }
};

// Latency buckets as atomics: recorded on the UI thread, read from any thread.
class LatencyRecorder {
public:
    // Thread: any. `latency_ns` below zero is ignored.
    void record_ns(int64_t latency_ns);
    // Thread: any.
    view::LatencyHistogram snapshot() const;
    // Thread: any.
    void reset();

private:
    std::array<std::atomic<uint64_t>, view::kLatencyBucketCount> counts_{};
};

class PaneStore {
public:
    static constexpr int kSlots = view::kMaxRenderPanes + 2;

    PaneStore();
    ~PaneStore();
    PaneStore(const PaneStore&) = delete;
    PaneStore& operator=(const PaneStore&) = delete;

    // Any thread. Gives the slot three buffers of `bytes` each (kept when the size is the
    // same) and forgets its pictures. Waits, bounded, while a copy or a presentation of that
    // slot is in progress. False when the wait times out or the memory cannot be had; the slot
    // then has no buffers and drops every picture.
    bool reserve(int slot, size_t bytes);
    // Any thread. Frees the slot's buffers (same wait as reserve).
    void release(int slot);
    // Any thread. Buffer size of the slot (0 when none).
    size_t buffer_bytes(int slot) const;

    // Pane pipelines. Hands out the slot's free buffer when its size is `bytes` and no other
    // thread is writing the slot; nullptr otherwise. Every non-null result must be followed by
    // end_write or abort_write from the same thread.
    uint8_t* begin_write(int slot, size_t bytes);
    // Publishes the buffer as the newest picture with `info` (its seq is filled in).
    void end_write(int slot, const FrameInfo& info);
    void abort_write(int slot);
    // begin_write + memcpy + end_write. False when the picture was dropped.
    bool write(int slot, const uint8_t* picture, size_t bytes, const FrameInfo& info);

    // Thread: any. True (and cleared) when some slot published since the last call.
    bool take_any_fresh() { return any_fresh_.exchange(false, std::memory_order_acq_rel); }
    // Thread: any. Marks every slot for another look (after a take that was not fully used).
    void mark_any_fresh() { any_fresh_.store(true, std::memory_order_release); }

    // UI thread. Makes the newest picture the presented one. True when there was a new one;
    // `info` then receives its description.
    bool take_fresh(int slot, FrameInfo* info);
    // UI thread. Peeks at the newest unpresented picture's description without taking it.
    bool peek_fresh(int slot, FrameInfo* info) const;
    // UI thread. Pins the presented picture for reading; nullptr when there is none. A
    // non-null result must be followed by end_present.
    const uint8_t* begin_present(int slot, FrameInfo* info);
    void end_present(int slot);
    // Thread: any. Forgets the slot's pictures (presented and unpresented).
    void clear(int slot);

    // Thread: any.
    view::PaneFrameCounts counts(int slot) const;
    void reset_counts();
    // UI thread: one presented picture of the slot, for the counts.
    void count_presented(int slot);

private:
    struct Slot;
    Slot* slot(int index) const;
    bool wait_idle(Slot& s, std::unique_lock<std::mutex>& lock);

    std::unique_ptr<Slot[]> slots_;
    std::atomic<bool> any_fresh_{false};
    std::atomic<uint64_t> next_seq_{1};
};

// Steady-clock nanoseconds, the clock of view::ReceivedAtNs.
uint64_t steady_now_ns();

}  // namespace orvel::gui::render
