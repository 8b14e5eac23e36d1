#include "view/draw_gate.h"

#include <chrono>

namespace orvel::view {

void DrawGate::leave() {
    if (in_flight_.fetch_sub(1) == 1 && draining_.load()) {
        // The lock orders this signal after the drainer's check of the count.
        std::lock_guard lock(mutex_);
        drained_.notify_all();
    }
}

bool DrawGate::drain(int timeout_ms) {
    std::unique_lock lock(mutex_);
    draining_.store(true);
    const bool drained = drained_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                           [this] { return in_flight_.load() == 0; });
    draining_.store(false);
    return drained;
}

}  // namespace orvel::view
