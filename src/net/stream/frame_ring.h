#pragma once
// The bounded frame queue between a stream connection and its pane's pipeline.
//
// A ring of entries (12 of 262,144 bytes for a live pane), each holding exactly one item at
// offset 0: a whole frame as it came off the wire (frame header, then payload), a stream
// header, or a notice. The network thread receives straight into the entry being filled and
// cuts the bytes into frames after every receive; only the bytes of the next frame that
// arrived with one are moved, once, to the start of the next entry. Nothing is copied
// otherwise: the queued entry is the decoder's input.
//
// One producer (the network thread) and one consumer (the pane's pipeline, which runs one job
// at a time) share it through two counters; neither ever waits for the other. When no entry is
// free the producer stops receiving; the consumer's pop tells it (room_wanted) to go on.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace orvel::net {

class StreamRecorder;

inline constexpr int kLiveRingEntries = 12;
inline constexpr std::size_t kRingEntryBytes = 262'144;

enum class RingItem : uint8_t {
    frame,          // a whole frame: header (12 or 16 bytes) and payload
    stream_header,  // the 28-byte header that starts a stream (also after a reconnect)
    notice,         // one byte, a RingNotice
};

enum class RingNotice : uint8_t {
    size_not_supported,  // the stream announced a picture size beyond the limit: it is closed
};

struct RingEntryInfo {
    RingItem kind = RingItem::frame;
    uint32_t bytes = 0;        // bytes of the item at offset 0
    uint64_t received_ns = 0;  // steady clock when its last byte arrived
};

enum class SplitResult {
    kNeedMore,   // every whole frame is queued; the entry holds the start of the next one
    kFull,       // frames wait for a free entry; receiving stops until resume()
    kOversized,  // a frame cannot fit one entry: the connection is treated as lost
};

class FrameRing {
public:
    // Allocates the entries (their pages are touched only as frames fill them); ok() is
    // false when the memory could not be had. UI thread.
    explicit FrameRing(int entries = kLiveRingEntries, std::size_t entry_bytes = kRingEntryBytes);
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    bool ok() const { return entries_ != nullptr; }
    int capacity() const { return capacity_; }
    std::size_t entry_bytes() const { return entry_bytes_; }

    // --- Producer (the network thread) ---

    // Where the next receive goes: the free part of the entry being filled. Empty while no
    // entry is free (the ring is full, or the bytes of the next frame wait for an entry).
    std::span<uint8_t> receive_area();
    // Accounts for `received` bytes just written into receive_area() and queues every whole
    // frame (frame headers in the dual form when `dual`). Each queued frame is handed to
    // `recorder` first when there is one.
    SplitResult commit_received(std::size_t received, bool dual, StreamRecorder* recorder);
    // Goes on after the consumer has freed entries: moves the waiting bytes of the next frame
    // to a free entry and cuts on.
    SplitResult resume(bool dual, StreamRecorder* recorder);
    // Queues a stream header or notice; false (nothing queued) while no entry is free or a
    // partly received frame occupies the entry being filled.
    bool push_item(RingItem kind, const uint8_t* bytes, std::size_t length);
    // Forgets the partly received frame and any waiting bytes (the connection was lost; the
    // new one starts with a header and whole frames). Queued items stay.
    void drop_partial();
    // True once the producer stopped for want of a free entry; cleared by resume().
    bool room_wanted() const { return room_wanted_.load(std::memory_order_acquire); }

    // --- Consumer (the pane's pipeline) ---

    // The oldest queued item, or nullptr when none is queued.
    const uint8_t* front(RingEntryInfo* info) const;
    // Frees the oldest item. Returns true when the producer waits for room (wake it).
    bool pop();

    // Any thread: items queued (0 to capacity).
    int queued() const;

private:
    struct Slot {
        RingEntryInfo info;
    };
    uint8_t* entry(uint32_t sequence) const;
    bool has_free_entry() const;
    // Moves the waiting bytes of the next frame into the entry to fill; false while no entry
    // is free (room is then wanted).
    bool move_pending();
    // Queues the entry being filled with `bytes` of kind `kind`.
    void publish(RingItem kind, uint32_t bytes);

    const int capacity_;
    const std::size_t entry_bytes_;
    std::unique_ptr<uint8_t[]> entries_;
    std::unique_ptr<Slot[]> slots_;
    // Sequence numbers: the producer owns tail_, the consumer head_; queued = tail - head.
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
    std::atomic<bool> room_wanted_{false};
    // Producer only.
    std::size_t fill_ = 0;        // bytes in the entry being filled (entry tail_)
    std::size_t pending_ = 0;     // bytes of the next frame still in the last queued entry
    std::size_t pending_at_ = 0;  // their offset there
};

// Payload length announced by a frame header (16-bit at offset 2 in the standard form, 32-bit
// at offset 4 in the dual form).
uint32_t frame_payload_bytes(const uint8_t* frame, bool dual);
inline constexpr int frame_header_bytes(bool dual) { return dual ? 16 : 12; }

}  // namespace orvel::net
