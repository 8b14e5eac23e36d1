// Timers of the main window keyed by id, each a QTimer owned by the adapter; a tick calls
// the handler with the timer's id on the UI thread.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>

#include "platform/ports/timers.h"

namespace orvel::gui {

class QtTimers final : public platform::TimerPort {
public:
    // Thread: UI thread (all members).
    explicit QtTimers(std::function<void(int timer_id)> on_tick) : on_tick_(std::move(on_tick)) {}
    ~QtTimers() override;

    void start_timer(int timer_id, int period_ms) override;
    void stop_timer(int timer_id) override;

    bool is_active(int timer_id) const;
    int interval_ms(int timer_id) const;

private:
    std::function<void(int)> on_tick_;
    std::map<int, QTimer*> timers_;
};

}  // namespace orvel::gui
