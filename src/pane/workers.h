#pragma once
// The threads that run every pane's pipeline: a pool of one worker per core and one
// presentation clock, whatever the number of panes.
//
// Each pane is one PaneJob. A job is in at most one place at a time (idle, waiting on the
// clock, queued, or running on one worker), so one pane's frames are never handled by two
// threads at once nor out of order; consecutive runs of a job may use different workers, each
// run happening after the previous one has ended. Workers and the clock wait on condition
// variables: nothing polls.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "pane/pacing.h"

namespace orvel::pane {

class PaneWorkers;

// One pane's pipeline as the workers see it.
class PaneJob {
public:
    virtual ~PaneJob() = default;

    struct Next {
        bool idle = true;      // nothing to do until the job is woken
        Clock::time_point at;  // otherwise: run again at this time (now or earlier: at once)
        static Next wait() { return {}; }
        static Next run_at(Clock::time_point when) { return {false, when}; }
    };
    // Worker thread, never concurrently with itself.
    virtual Next run(Clock::time_point now) = 0;

private:
    friend class PaneWorkers;
    enum class State { detached, idle, timed, ready, running };
    // Guarded by the workers' mutex.
    State state_ = State::detached;
    bool rerun_ = false;
    bool detaching_ = false;
    Clock::time_point due_{};
    PaneJob* next_ready_ = nullptr;
};

class PaneWorkers {
public:
    // Starts `threads` workers (0: one per core) and the clock. UI thread.
    explicit PaneWorkers(int threads = 0);
    // Joins every thread; every job must have been detached. UI thread.
    ~PaneWorkers();
    PaneWorkers(const PaneWorkers&) = delete;
    PaneWorkers& operator=(const PaneWorkers&) = delete;

    // The job may be woken from now on; it starts idle. Any thread but a worker.
    void attach(PaneJob& job);
    // The job never runs again once this returns: it is taken off the clock and the queue,
    // and a run in progress is waited for (one frame at most). Any thread but a worker.
    void detach(PaneJob& job);
    // Runs the job soon if it is idle; a job that is running runs once more afterwards; a job
    // waiting on the clock keeps its time. Any thread.
    void wake(PaneJob& job);

    int thread_count() const { return static_cast<int>(workers_.size()); }

private:
    void work();
    void tick();
    void make_ready(PaneJob& job);  // with the mutex held
    void settle(PaneJob& job, const PaneJob::Next& next, Clock::time_point now);

    std::mutex mutex_;
    std::condition_variable ready_cv_;    // workers wait here
    std::condition_variable clock_cv_;    // the clock waits here
    std::condition_variable settled_cv_;  // detach waits here
    PaneJob* ready_head_ = nullptr;
    PaneJob* ready_tail_ = nullptr;
    std::vector<PaneJob*> timed_;  // jobs waiting on the clock (a few dozen at most)
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    std::thread clock_;
};

}  // namespace orvel::pane
