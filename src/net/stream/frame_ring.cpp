#include "net/stream/frame_ring.h"

#include <chrono>
#include <cstring>
#include <new>

#include "media/byte_order.h"
#include "net/stream/stream_recorder.h"

namespace orvel::net {
namespace {

uint64_t steady_ns() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

uint32_t frame_payload_bytes(const uint8_t* frame, bool dual) {
    return dual ? media::load_u32(frame + 4) : media::load_u16(frame + 2);
}

FrameRing::FrameRing(int entries, std::size_t entry_bytes)
    : capacity_(entries > 0 ? entries : 1), entry_bytes_(entry_bytes) {
    entries_.reset(new (std::nothrow) uint8_t[static_cast<std::size_t>(capacity_) * entry_bytes_]);
    slots_.reset(new (std::nothrow) Slot[static_cast<std::size_t>(capacity_)]);
    if (!slots_) entries_.reset();
}

uint8_t* FrameRing::entry(uint32_t sequence) const {
    return entries_.get() +
           static_cast<std::size_t>(sequence % static_cast<uint32_t>(capacity_)) * entry_bytes_;
}

bool FrameRing::has_free_entry() const {
    // The entry being filled (number tail_) is free once fewer than `capacity_` are queued.
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    const uint32_t head = head_.load(std::memory_order_seq_cst);
    return tail - head < static_cast<uint32_t>(capacity_);
}

void FrameRing::publish(RingItem kind, uint32_t bytes) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    slots_[tail % static_cast<uint32_t>(capacity_)].info = {kind, bytes, steady_ns()};
    tail_.store(tail + 1, std::memory_order_release);
}

std::span<uint8_t> FrameRing::receive_area() {
    if (pending_ > 0) return {};
    if (!has_free_entry()) {
        // Announce the want first, then look again: a pop between the two is never missed.
        room_wanted_.store(true, std::memory_order_seq_cst);
        if (!has_free_entry()) return {};
        room_wanted_.store(false, std::memory_order_relaxed);
    }
    return {entry(tail_.load(std::memory_order_relaxed)) + fill_, entry_bytes_ - fill_};
}

SplitResult FrameRing::commit_received(std::size_t received, bool dual, StreamRecorder* recorder) {
    const std::size_t header = static_cast<std::size_t>(frame_header_bytes(dual));
    fill_ += received;
    while (fill_ > header) {
        uint8_t* at = entry(tail_.load(std::memory_order_relaxed));
        const uint64_t frame = uint64_t{frame_payload_bytes(at, dual)} + header;
        if (frame > entry_bytes_) return SplitResult::kOversized;
        if (frame > fill_) return SplitResult::kNeedMore;
        const auto frame_bytes = static_cast<std::size_t>(frame);
        if (recorder != nullptr) recorder->on_frame(at, frame_bytes);
        const std::size_t surplus = fill_ - frame_bytes;
        publish(RingItem::frame, static_cast<uint32_t>(frame_bytes));
        fill_ = 0;
        if (surplus == 0) return SplitResult::kNeedMore;
        // The start of the next frame came with this one: it moves once a free entry exists.
        pending_ = surplus;
        pending_at_ = frame_bytes;
        if (!move_pending()) return SplitResult::kFull;
    }
    return SplitResult::kNeedMore;
}

bool FrameRing::move_pending() {
    if (!has_free_entry()) {
        room_wanted_.store(true, std::memory_order_seq_cst);
        if (!has_free_entry()) return false;
    }
    room_wanted_.store(false, std::memory_order_relaxed);
    if (pending_ == 0) return true;
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    // The waiting bytes sit in the last queued entry, which the consumer only reads.
    std::memmove(entry(tail), entry(tail - 1) + pending_at_, pending_);
    fill_ = pending_;
    pending_ = 0;
    return true;
}

SplitResult FrameRing::resume(bool dual, StreamRecorder* recorder) {
    if (!move_pending()) return SplitResult::kFull;
    return commit_received(0, dual, recorder);
}

bool FrameRing::push_item(RingItem kind, const uint8_t* bytes, std::size_t length) {
    if (fill_ != 0 || pending_ != 0 || length > entry_bytes_) return false;
    if (!has_free_entry()) {
        room_wanted_.store(true, std::memory_order_seq_cst);
        if (!has_free_entry()) return false;
        room_wanted_.store(false, std::memory_order_relaxed);
    }
    if (length > 0) std::memcpy(entry(tail_.load(std::memory_order_relaxed)), bytes, length);
    publish(kind, static_cast<uint32_t>(length));
    return true;
}

void FrameRing::drop_partial() {
    fill_ = 0;
    pending_ = 0;
}

const uint8_t* FrameRing::front(RingEntryInfo* info) const {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    if (info != nullptr) *info = slots_[head % static_cast<uint32_t>(capacity_)].info;
    return entry(head);
}

bool FrameRing::pop() {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    head_.store(head + 1, std::memory_order_seq_cst);
    return room_wanted_.load(std::memory_order_seq_cst);
}

int FrameRing::queued() const {
    return static_cast<int>(tail_.load(std::memory_order_acquire) -
                            head_.load(std::memory_order_acquire));
}

}  // namespace orvel::net
