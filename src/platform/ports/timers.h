#pragma once
// Timers of the main window, keyed by id (1: local playback, 2: timeline refresh).

namespace orvel::platform {

class TimerPort {
public:
    virtual ~TimerPort() = default;
    // Starts or re-arms timer `timer_id` with the period. Thread: UI thread only.
    virtual void start_timer(int timer_id, int period_ms) = 0;
    // Thread: UI thread only.
    virtual void stop_timer(int timer_id) = 0;
};

}  // namespace orvel::platform
