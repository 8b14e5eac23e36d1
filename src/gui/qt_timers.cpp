#include "gui/qt_timers.h"

namespace orvel::gui {

QtTimers::~QtTimers() {
    for (auto& [id, t] : timers_) delete t;
}

void QtTimers::start_timer(int timer_id, int period_ms) {
    QTimer*& t = timers_[timer_id];
    if (!t) {
        t = new QTimer();
        QObject::connect(t, &QTimer::timeout, [this, timer_id] {
            if (on_tick_) on_tick_(timer_id);
        });
    }
    t->start(std::max(1, period_ms));  // re-arms a running timer with the new period
}

void QtTimers::stop_timer(int timer_id) {
    const auto it = timers_.find(timer_id);
    if (it != timers_.end()) it->second->stop();
}

bool QtTimers::is_active(int timer_id) const {
    const auto it = timers_.find(timer_id);
    return it != timers_.end() && it->second->isActive();
}

int QtTimers::interval_ms(int timer_id) const {
    const auto it = timers_.find(timer_id);
    return it == timers_.end() ? 0 : it->second->interval();
}

}  // namespace orvel::gui
