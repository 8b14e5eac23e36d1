#pragma once
// Cutting a DVR stream into whole frames, one frame per ring entry.
//
// The receiving thread receives straight into the entry being filled; after every receive,
// frame_split queues each complete frame for the display thread and moves only the surplus
// bytes (the start of the next frame) to the next entry. No frame data is copied otherwise.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace orvel::net {

inline constexpr int kStdFrameHeaderBytes = 12;
inline constexpr int kDualFrameHeaderBytes = 16;
inline constexpr int kRingFullPollMs = 40;

// Receives every complete frame before it is queued (the recorder of a recording pane).
// Called on the receiving thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void on_frame(const uint8_t* frame, int frame_bytes) = 0;
};

enum class SplitResult {
    kNeedMore,   // all complete frames queued; the entry holds the start of the next one
    kStopped,    // `receiving` was cleared while waiting for a free entry
    kOversized,  // a frame cannot fit one entry: treated as a lost connection
};

// Payload length announced by the frame header at the start of `entry`.
inline uint32_t frame_payload_bytes(const uint8_t* entry, bool dual) {
    if (dual) {
        return static_cast<uint32_t>(entry[4]) | static_cast<uint32_t>(entry[5]) << 8 |
               static_cast<uint32_t>(entry[6]) << 16 | static_cast<uint32_t>(entry[7]) << 24;
    }
    return static_cast<uint32_t>(entry[2]) | static_cast<uint32_t>(entry[3]) << 8;
}

// Counts a queued frame, and notes when it arrived, in slots that keep statistics.
template <class Slot>
void count_queued_frame(Slot& slot, int entry) {
    if constexpr (requires { slot.frames_queued.fetch_add(1); }) slot.frames_queued.fetch_add(1);
    if constexpr (requires { slot.entry_received_ns[0] = 0; }) {
        slot.entry_received_ns[static_cast<size_t>(entry)] = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
}

// Ring bookkeeping shared by live and remote slots. `Slot` provides: ring (array of entries),
// ring_write, ring_fill, ring_count (atomic), receiving (atomic flag).
// Receiving thread only. `received` is the byte count of the receive just made into
// ring[ring_write] at offset ring_fill.
template <class Slot>
SplitResult frame_split(Slot& slot, int received, bool dual, FrameSink* recorder) {
    const int entries = static_cast<int>(slot.ring.size());
    const int64_t entry_bytes = static_cast<int64_t>(slot.ring[0].size());
    const int header = dual ? kDualFrameHeaderBytes : kStdFrameHeaderBytes;
    slot.ring_fill += received;
    while (slot.ring_fill > header) {
        uint8_t* entry = slot.ring[slot.ring_write].data();
        const int64_t frame_bytes = static_cast<int64_t>(frame_payload_bytes(entry, dual)) + header;
        if (frame_bytes > entry_bytes) return SplitResult::kOversized;
        if (frame_bytes > slot.ring_fill) return SplitResult::kNeedMore;
        const int frame = static_cast<int>(frame_bytes);
        if (recorder != nullptr) recorder->on_frame(entry, frame);
        const int surplus = slot.ring_fill - frame;
        if (surplus == 0) {
            slot.ring_fill = 0;
            count_queued_frame(slot, slot.ring_write);
            slot.ring_count.fetch_add(1);
            slot.ring_write = (slot.ring_write + 1) % entries;
            return SplitResult::kNeedMore;
        }
        // The entry holds this frame and the start of the next: queue it, then move the
        // surplus once a free entry exists.
        count_queued_frame(slot, slot.ring_write);
        slot.ring_write = (slot.ring_write + 1) % entries;
        slot.ring_fill = surplus;
        slot.ring_count.fetch_add(1);
        while (slot.ring_count.load() >= entries) {
            if (!slot.receiving.load()) return SplitResult::kStopped;
            std::this_thread::sleep_for(std::chrono::milliseconds(kRingFullPollMs));
        }
        std::memmove(slot.ring[slot.ring_write].data(), entry + frame,
                     static_cast<size_t>(surplus));
    }
    return SplitResult::kNeedMore;
}

}  // namespace orvel::net
