#include "pane/workers.h"

#include <pthread.h>

#include <algorithm>

#include "platform/log.h"

namespace orvel::pane {

PaneWorkers::PaneWorkers(int threads) {
    if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, 16);
    timed_.reserve(64);
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
    clock_ = std::thread([this] { tick(); });
    ORVEL_LOG_INFO("pane pipelines: %d decode workers and one presentation clock", threads);
}

PaneWorkers::~PaneWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_cv_.notify_all();
    clock_cv_.notify_all();
    for (auto& t : workers_) t.join();
    clock_.join();
}

void PaneWorkers::make_ready(PaneJob& job) {
    job.state_ = PaneJob::State::ready;
    job.next_ready_ = nullptr;
    if (ready_tail_ != nullptr)
        ready_tail_->next_ready_ = &job;
    else
        ready_head_ = &job;
    ready_tail_ = &job;
    ready_cv_.notify_one();
}

void PaneWorkers::attach(PaneJob& job) {
    std::lock_guard lock(mutex_);
    job.state_ = PaneJob::State::idle;
    job.rerun_ = false;
    job.detaching_ = false;
}

void PaneWorkers::detach(PaneJob& job) {
    std::unique_lock lock(mutex_);
    job.detaching_ = true;
    settled_cv_.wait(lock, [&] { return job.state_ != PaneJob::State::running; });
    switch (job.state_) {
        case PaneJob::State::timed:
            timed_.erase(std::remove(timed_.begin(), timed_.end(), &job), timed_.end());
            break;
        case PaneJob::State::ready: {
            PaneJob* previous = nullptr;
            for (PaneJob* j = ready_head_; j != nullptr; previous = j, j = j->next_ready_) {
                if (j != &job) continue;
                (previous != nullptr ? previous->next_ready_ : ready_head_) = j->next_ready_;
                if (ready_tail_ == j) ready_tail_ = previous;
                break;
            }
            break;
        }
        default:
            break;
    }
    job.state_ = PaneJob::State::detached;
    job.next_ready_ = nullptr;
}

void PaneWorkers::wake(PaneJob& job) {
    std::lock_guard lock(mutex_);
    if (job.detaching_) return;
    if (job.state_ == PaneJob::State::idle)
        make_ready(job);
    else if (job.state_ == PaneJob::State::running)
        job.rerun_ = true;
}

void PaneWorkers::settle(PaneJob& job, const PaneJob::Next& next, Clock::time_point now) {
    if (job.detaching_) {
        job.state_ = PaneJob::State::idle;
        settled_cv_.notify_all();
        return;
    }
    if (next.idle && !job.rerun_) {
        job.state_ = PaneJob::State::idle;
        return;
    }
    if (job.rerun_ || next.at <= now) {
        job.rerun_ = false;
        make_ready(job);
        return;
    }
    job.state_ = PaneJob::State::timed;
    job.due_ = next.at;
    const bool earliest = std::none_of(timed_.begin(), timed_.end(),
                                       [&](const PaneJob* j) { return j->due_ <= next.at; });
    timed_.push_back(&job);
    if (earliest) clock_cv_.notify_one();
}

void PaneWorkers::work() {
    // Named so profiles and the benchmark can tell the program's threads apart.
    pthread_setname_np(pthread_self(), "orvel-decode");
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_cv_.wait(lock, [&] { return stopping_ || ready_head_ != nullptr; });
        if (stopping_) return;
        PaneJob& job = *ready_head_;
        ready_head_ = job.next_ready_;
        if (ready_head_ == nullptr) ready_tail_ = nullptr;
        job.next_ready_ = nullptr;
        job.state_ = PaneJob::State::running;
        job.rerun_ = false;
        lock.unlock();
        const PaneJob::Next next = job.run(Clock::now());
        lock.lock();
        settle(job, next, Clock::now());
    }
}

void PaneWorkers::tick() {
    pthread_setname_np(pthread_self(), "orvel-clock");
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_) return;
        if (timed_.empty()) {
            clock_cv_.wait(lock);
            continue;
        }
        const auto now = Clock::now();
        Clock::time_point earliest = Clock::time_point::max();
        for (std::size_t i = 0; i < timed_.size();) {
            PaneJob& job = *timed_[i];
            if (job.due_ <= now) {
                timed_[i] = timed_.back();
                timed_.pop_back();
                make_ready(job);
                continue;
            }
            earliest = std::min(earliest, job.due_);
            ++i;
        }
        if (earliest != Clock::time_point::max()) clock_cv_.wait_until(lock, earliest);
    }
}

}  // namespace orvel::pane
