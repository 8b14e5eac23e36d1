#include "gui/render/pane_store.h"

#include <chrono>
#include <cstring>
#include <new>
#include <utility>

namespace orvel::gui::render {

namespace {
// A copy or an upload of one picture takes well under this; a longer wait means a writer is
// stuck and the caller gives up instead of hanging the UI thread.
constexpr auto kIdleWait = std::chrono::milliseconds(500);
}  // namespace

void FrameInfo::set_caption(std::string_view text) {
    const size_t n = text.size() < kCaptionMaxBytes ? text.size() : kCaptionMaxBytes;
    if (n > 0) std::memcpy(caption.data(), text.data(), n);
    caption_length = static_cast<uint8_t>(n);
}

void LatencyRecorder::record_ns(int64_t latency_ns) {
    if (latency_ns < 0) return;
    int64_t bucket = latency_ns / (int64_t{view::kLatencyBucketUs} * 1000);
    if (bucket >= view::kLatencyBucketCount) bucket = view::kLatencyBucketCount - 1;
    counts_[static_cast<size_t>(bucket)].fetch_add(1, std::memory_order_relaxed);
}

view::LatencyHistogram LatencyRecorder::snapshot() const {
    view::LatencyHistogram h;
    for (size_t i = 0; i < counts_.size(); ++i)
        h.counts[i] = counts_[i].load(std::memory_order_relaxed);
    return h;
}

void LatencyRecorder::reset() {
    for (auto& c : counts_) c.store(0, std::memory_order_relaxed);
}

struct PaneStore::Slot {
    mutable std::mutex mutex;
    std::condition_variable idle;
    std::array<std::unique_ptr<uint8_t[]>, 3> buffers;
    std::array<FrameInfo, 3> infos;
    size_t bytes = 0;
    int write_index = 0;
    int ready_index = 1;
    int present_index = 2;
    bool fresh = false;        // ready_index holds a picture not yet taken
    bool has_present = false;  // present_index holds a picture
    bool writing = false;
    bool presenting = false;
    std::atomic<uint64_t> drawn{0};
    std::atomic<uint64_t> presented{0};
    std::atomic<uint64_t> replaced{0};
};

PaneStore::PaneStore() : slots_(new Slot[kSlots]) {}
PaneStore::~PaneStore() = default;

PaneStore::Slot* PaneStore::slot(int index) const {
    if (index < 0 || index >= kSlots) return nullptr;
    return &slots_[static_cast<size_t>(index)];
}

bool PaneStore::wait_idle(Slot& s, std::unique_lock<std::mutex>& lock) {
    return s.idle.wait_for(lock, kIdleWait, [&] { return !s.writing && !s.presenting; });
}

bool PaneStore::reserve(int index, size_t bytes) {
    Slot* s = slot(index);
    if (!s) return false;
    std::array<std::unique_ptr<uint8_t[]>, 3> fresh_buffers;
    {
        std::unique_lock lock(s->mutex);
        if (s->bytes == bytes && s->buffers[0]) {
            if (!wait_idle(*s, lock)) return false;
            s->fresh = false;
            s->has_present = false;
            return true;
        }
    }
    // Pages of a new buffer are only touched when a picture is written, so panes that never
    // receive one cost address space, not memory.
    if (bytes > 0) {
        for (auto& b : fresh_buffers) {
            b.reset(new (std::nothrow) uint8_t[bytes]);
            if (!b) {
                release(index);
                return false;
            }
        }
    }
    std::array<std::unique_ptr<uint8_t[]>, 3> old;
    {
        std::unique_lock lock(s->mutex);
        if (!wait_idle(*s, lock)) return false;
        old = std::move(s->buffers);
        s->buffers = std::move(fresh_buffers);
        s->bytes = bytes;
        s->fresh = false;
        s->has_present = false;
    }
    return true;
}

void PaneStore::release(int index) {
    Slot* s = slot(index);
    if (!s) return;
    std::array<std::unique_ptr<uint8_t[]>, 3> old;
    std::unique_lock lock(s->mutex);
    if (!wait_idle(*s, lock)) {
        // Someone still holds a buffer: keep the memory but make the slot refuse pictures.
        s->fresh = false;
        s->has_present = false;
        return;
    }
    old = std::move(s->buffers);
    s->bytes = 0;
    s->fresh = false;
    s->has_present = false;
}

size_t PaneStore::buffer_bytes(int index) const {
    const Slot* s = slot(index);
    if (!s) return 0;
    std::lock_guard lock(s->mutex);
    return s->bytes;
}

uint8_t* PaneStore::begin_write(int index, size_t bytes) {
    Slot* s = slot(index);
    if (!s) return nullptr;
    std::lock_guard lock(s->mutex);
    if (s->writing || s->bytes != bytes || !s->buffers[0]) return nullptr;
    s->writing = true;
    return s->buffers[static_cast<size_t>(s->write_index)].get();
}

void PaneStore::end_write(int index, const FrameInfo& info) {
    Slot* s = slot(index);
    if (!s) return;
    {
        std::lock_guard lock(s->mutex);
        FrameInfo& stored = s->infos[static_cast<size_t>(s->write_index)];
        stored = info;
        stored.seq = next_seq_.fetch_add(1, std::memory_order_relaxed);
        std::swap(s->write_index, s->ready_index);
        if (s->fresh) s->replaced.fetch_add(1, std::memory_order_relaxed);
        s->fresh = true;
        s->writing = false;
        s->drawn.fetch_add(1, std::memory_order_relaxed);
    }
    s->idle.notify_all();
    any_fresh_.store(true, std::memory_order_release);
}

void PaneStore::abort_write(int index) {
    Slot* s = slot(index);
    if (!s) return;
    {
        std::lock_guard lock(s->mutex);
        s->writing = false;
    }
    s->idle.notify_all();
}

bool PaneStore::write(int index, const uint8_t* picture, size_t bytes, const FrameInfo& info) {
    uint8_t* dst = begin_write(index, bytes);
    if (!dst) return false;
    std::memcpy(dst, picture, bytes);
    end_write(index, info);
    return true;
}

bool PaneStore::take_fresh(int index, FrameInfo* info) {
    Slot* s = slot(index);
    if (!s) return false;
    std::lock_guard lock(s->mutex);
    if (!s->fresh || s->presenting) return false;
    std::swap(s->ready_index, s->present_index);
    s->fresh = false;
    s->has_present = true;
    if (info) *info = s->infos[static_cast<size_t>(s->present_index)];
    return true;
}

bool PaneStore::peek_fresh(int index, FrameInfo* info) const {
    const Slot* s = slot(index);
    if (!s) return false;
    std::lock_guard lock(s->mutex);
    if (!s->fresh) return false;
    if (info) *info = s->infos[static_cast<size_t>(s->ready_index)];
    return true;
}

const uint8_t* PaneStore::begin_present(int index, FrameInfo* info) {
    Slot* s = slot(index);
    if (!s) return nullptr;
    std::lock_guard lock(s->mutex);
    if (!s->has_present || s->presenting || !s->buffers[0]) return nullptr;
    s->presenting = true;
    if (info) *info = s->infos[static_cast<size_t>(s->present_index)];
    return s->buffers[static_cast<size_t>(s->present_index)].get();
}

void PaneStore::end_present(int index) {
    Slot* s = slot(index);
    if (!s) return;
    {
        std::lock_guard lock(s->mutex);
        s->presenting = false;
    }
    s->idle.notify_all();
}

void PaneStore::clear(int index) {
    Slot* s = slot(index);
    if (!s) return;
    std::lock_guard lock(s->mutex);
    s->fresh = false;
    s->has_present = false;
}

view::PaneFrameCounts PaneStore::counts(int index) const {
    const Slot* s = slot(index);
    if (!s) return {};
    return {s->drawn.load(std::memory_order_relaxed), s->presented.load(std::memory_order_relaxed),
            s->replaced.load(std::memory_order_relaxed)};
}

void PaneStore::reset_counts() {
    for (int i = 0; i < kSlots; ++i) {
        Slot& s = slots_[static_cast<size_t>(i)];
        s.drawn.store(0, std::memory_order_relaxed);
        s.presented.store(0, std::memory_order_relaxed);
        s.replaced.store(0, std::memory_order_relaxed);
    }
}

void PaneStore::count_presented(int index) {
    if (Slot* s = slot(index)) s->presented.fetch_add(1, std::memory_order_relaxed);
}

uint64_t steady_now_ns() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace orvel::gui::render
