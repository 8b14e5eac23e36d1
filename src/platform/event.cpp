#include "platform/event.h"

#include <chrono>

namespace orvel::platform {

void ManualResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool ManualResetEvent::wait_for(int timeout_ms) {
    std::unique_lock lock(mutex_);
    if (timeout_ms < 0) timeout_ms = 0;
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; });
}

bool ManualResetEvent::is_set() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

}  // namespace orvel::platform
