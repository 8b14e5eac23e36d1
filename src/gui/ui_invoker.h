// Carries calls from worker threads over to the UI thread.
//
// A call is posted as an event to an object living on the UI thread. Two kinds:
//  - post(): the worker goes on at once; the call runs on the UI thread in posting order,
//    however long the UI thread is busy. It is dropped only by close() (shutdown), so a
//    worker that needs no answer never waits and nothing it hands over is lost.
//  - run(): the worker waits until the UI thread has run the call (the call may show a
//    message box the operator is reading). The wait has no time limit while the program
//    runs, and ends at close(): a call not yet started is then withdrawn and never runs.
// On the UI thread itself both run the call directly (no self-deadlock).
//
// Shutdown: close() comes before any UI-thread wait for a worker (the program's stop does
// it first), so a worker waiting in run() is always released. A UI-thread operation must
// never join a worker that may be waiting in run(): such workers post instead.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvel::gui {

class UiInvoker : public QObject {
public:
    // Thread: UI thread (the object lives on the thread that creates it).
    explicit UiInvoker(QObject* parent = nullptr);
    ~UiInvoker() override;

    // Runs `fn` on the UI thread and returns true once it has run; false when it was not
    // run because the invoker was closed first. Thread: any.
    bool run(const std::function<void()>& fn);

    // Queues `fn` for the UI thread and returns at once: false when closed (fn is then
    // not run). `fn` owns what it needs (it runs later). Thread: any.
    bool post(std::function<void()> fn);

    // Typed convenience: returns fn()'s result, or `fallback` when it was not run.
    // Thread: any.
    template <class R, class F>
    R call(F&& fn, R fallback) {
        R result = fallback;
        run([&] { result = fn(); });
        return result;
    }

    // Withdraws every pending call and refuses new ones from workers; calls made on the UI
    // thread still run directly. Thread: UI thread.
    void close();
    // Thread: any.
    bool closed() const;

    // True when the calling thread is the UI thread. Thread: any.
    bool on_ui_thread() const;

protected:
    void customEvent(QEvent* e) override;

private:
    struct Request;
    void execute(const std::shared_ptr<Request>& req);
    bool enqueue(const std::shared_ptr<Request>& req);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool closed_ = false;
    std::vector<std::shared_ptr<Request>> pending_;  // queued or running; guarded by mutex_
};

}  // namespace orvel::gui
