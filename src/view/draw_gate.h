#pragma once
// The barrier between the pane pipelines' drawing and the UI thread's rebuilds of what they
// draw into (layouts, full view, full screen, display switch).
//
// A pipeline passes the gate for the span in which it reads the drawing flags (draw-enabled,
// full view, display mode) and hands a picture to a renderer. The UI thread first changes the
// flags, then drains the gate: it waits until every pass begun before the change has ended,
// and no longer. A pass that begins after the change reads the new flags (each side writes
// before it reads, all sequentially consistent), so once the drain returns no picture is
// being drawn with the old ones. Passing costs two atomic operations; the lock and the
// signal are taken only while the UI thread waits.
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace orvel::view {

class DrawGate {
public:
    // Thread: pane pipelines. Marks a draw in progress for the life of the object.
    class Pass {
    public:
        explicit Pass(DrawGate& gate) : gate_(gate) { gate_.in_flight_.fetch_add(1); }
        ~Pass() { gate_.leave(); }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        DrawGate& gate_;
    };

    // Thread: UI thread, after it changed the drawing flags. Waits until no pass begun
    // before the change is left; gives up after `timeout_ms` (a pipeline stuck in a draw
    // must not freeze the window). True when drained.
    bool drain(int timeout_ms);
    // Thread: any. Passes in progress, and whether the UI thread waits for them (tests).
    int in_flight() const { return in_flight_.load(); }
    bool draining() const { return draining_.load(); }

private:
    void leave();

    std::atomic<int> in_flight_{0};
    std::atomic<bool> draining_{false};  // the UI thread is waiting in drain
    std::mutex mutex_;                   // guards the wait, not the count
    std::condition_variable drained_;
};

}  // namespace orvel::view
