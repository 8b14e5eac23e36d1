#include "media/record_queue.h"

#include <cstring>

#include "media/dvr_file.h"

namespace orvel::media {

namespace {
constexpr std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }
}  // namespace

RecordQueue::RecordQueue(std::size_t capacity_bytes, std::size_t reserve_bytes)
    : capacity_(align8(capacity_bytes < 64 ? 64 : capacity_bytes)),
      reserve_(reserve_bytes < capacity_ / 2 ? reserve_bytes : capacity_ / 2) {
    ring_ = std::make_unique<uint8_t[]>(capacity_);
}

std::size_t RecordQueue::stored_bytes(std::size_t size) const {
    return align8(kItemHeaderBytes + size);
}

std::size_t RecordQueue::max_frame_bytes() const {
    // A frame must fit beside the reserve even after a wrap wasted up to its own size.
    return (capacity_ - reserve_) / 2 - kItemHeaderBytes - 8;
}

std::size_t RecordQueue::used_bytes() const {
    return static_cast<std::size_t>(head_.load(std::memory_order_relaxed) -
                                    tail_.load(std::memory_order_relaxed));
}

bool RecordQueue::push(QueueItemKind kind, int64_t wall_ms, const uint8_t* bytes,
                       std::size_t size) {
    if (size > capacity_) return false;
    const std::size_t need = stored_bytes(size);
    std::lock_guard lock(producer_lock_);
    const uint64_t head = head_.load(std::memory_order_relaxed);
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    const std::size_t offset = static_cast<std::size_t>(head % capacity_);
    const std::size_t to_end = capacity_ - offset;
    const std::size_t total = need <= to_end ? need : to_end + need;
    const std::size_t limit = kind == QueueItemKind::frame ? capacity_ - reserve_ : capacity_;
    if (head - tail + total > limit) return false;

    uint8_t* at = ring_.get() + offset;
    if (need > to_end) {
        // to_end is a multiple of 8 and at least 8: room for the wrap mark's kind byte.
        at[0] = static_cast<uint8_t>(QueueItemKind::wrap);
        at = ring_.get();
    }
    at[0] = static_cast<uint8_t>(kind);
    store_u32(at + 4, static_cast<uint32_t>(size));
    store_u32(at + 8, static_cast<uint32_t>(static_cast<uint64_t>(wall_ms)));
    store_u32(at + 12, static_cast<uint32_t>(static_cast<uint64_t>(wall_ms) >> 32));
    if (size > 0) std::memcpy(at + kItemHeaderBytes, bytes, size);
    head_.store(head + total, std::memory_order_release);
    return true;
}

bool RecordQueue::front(QueueItem& item) {
    uint64_t tail = tail_.load(std::memory_order_relaxed);
    const uint64_t head = head_.load(std::memory_order_acquire);
    if (tail == head) return false;
    std::size_t offset = static_cast<std::size_t>(tail % capacity_);
    if (ring_[offset] == static_cast<uint8_t>(QueueItemKind::wrap)) {
        tail += capacity_ - offset;
        offset = 0;
    }
    uint8_t* at = ring_.get() + offset;
    item.kind = static_cast<QueueItemKind>(at[0]);
    item.size = load_u32(at + 4);
    item.wall_ms = static_cast<int64_t>(static_cast<uint64_t>(load_u32(at + 8)) |
                                        (static_cast<uint64_t>(load_u32(at + 12)) << 32));
    item.bytes = at + kItemHeaderBytes;
    front_end_ = tail + stored_bytes(item.size);
    return true;
}

void RecordQueue::pop() { tail_.store(front_end_, std::memory_order_release); }

}  // namespace orvel::media
