#pragma once
// A bounded queue of variable-size items between the network side of one recording pane
// (producer) and the shared writer thread (consumer). Items are stored whole and contiguous
// in one byte ring allocated when the pane starts recording, so a push is one copy and the
// writer writes a frame to disk straight from the ring.
//
// Producer calls for one queue are serialised by a small lock of their own (they come from
// the pane's network side, normally one thread at a time); the consumer side takes no lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace orvel::media {

enum class QueueItemKind : uint8_t {
    stream_header = 1,  // 28 bytes: a (new) stream begins
    frame = 2,          // one whole frame as received: record header + payload
    connection_lost = 3,
    wrap = 0xFF,  // internal: the rest of the ring is unused, continue at its start
};

struct QueueItem {
    QueueItemKind kind;
    int64_t wall_ms;  // wall-clock time at which the producer queued it
    uint8_t* bytes;   // inside the ring; the consumer may modify them until pop()
    std::size_t size;
};

class RecordQueue {
public:
    // `capacity_bytes` is rounded up to a multiple of 8. `reserve_bytes` of it are kept for
    // items other than frames, so a stream header or a lost connection still gets through
    // when frames fill the queue.
    RecordQueue(std::size_t capacity_bytes, std::size_t reserve_bytes);

    // Producer. Copies the item in; false (nothing queued) when it does not fit.
    bool push(QueueItemKind kind, int64_t wall_ms, const uint8_t* bytes, std::size_t size);

    // Consumer. The oldest item, or false when the queue is empty. The item stays in the
    // ring until pop().
    bool front(QueueItem& item);
    // Consumer. Releases the item returned by front().
    void pop();

    // Largest frame that can ever be queued.
    std::size_t max_frame_bytes() const;
    // Any thread: bytes queued now (approximate while the other side works).
    std::size_t used_bytes() const;

private:
    static constexpr std::size_t kItemHeaderBytes = 16;  // kind, size, wall time
    std::size_t stored_bytes(std::size_t size) const;

    std::unique_ptr<uint8_t[]> ring_;
    std::size_t capacity_;
    std::size_t reserve_;
    std::mutex producer_lock_;
    // Positions count bytes since the start and only grow; offset = position % capacity.
    std::atomic<uint64_t> head_{0};  // written by the producer
    std::atomic<uint64_t> tail_{0};  // written by the consumer
    uint64_t front_end_ = 0;         // consumer only: tail after the item front() returned
};

}  // namespace orvel::media
