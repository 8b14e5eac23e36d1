#include "app/lifecycle.h"

#include <csignal>

namespace orvel::app {

void Lifecycle::set_startup(StartupStep step, StartAction action) {
    start_[static_cast<std::size_t>(step)] = std::move(action);
}

void Lifecycle::set_shutdown(ShutdownStep step, StopAction action) {
    stop_[static_cast<std::size_t>(step)] = std::move(action);
}

bool Lifecycle::has_startup(StartupStep step) const {
    return static_cast<bool>(start_[static_cast<std::size_t>(step)]);
}

int Lifecycle::run() {
    trace_.clear();
    bool started = true;
    std::size_t reached = 0;
    for (; reached < start_.size(); ++reached) {
        const StartAction& action = start_[reached];
        if (!action) continue;  // subsystem not built yet: the step keeps its place
        trace_.emplace_back(kStartupStepNames[reached]);
        if (!action()) {
            started = false;
            break;
        }
    }
    int exit_code = 0;
    if (started && loop_) {
        trace_.emplace_back("message_loop");
        exit_code = loop_();
    }
    // Shutdown in its fixed order. A failed start-up still releases what started: the
    // audio output and decoder table steps are safe to run when their object is absent.
    const bool network_started =
        started || reached > static_cast<std::size_t>(StartupStep::start_sockets);
    for (std::size_t i = 0; i < stop_.size(); ++i) {
        if (!stop_[i]) continue;
        if (!network_started && i == static_cast<std::size_t>(ShutdownStep::sockets_cleanup))
            continue;
        trace_.emplace_back(kShutdownStepNames[i]);
        stop_[i]();
    }
    return started ? exit_code : 0;
}

bool Lifecycle::start_sockets() {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace orvel::app
