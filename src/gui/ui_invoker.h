// Carries calls from worker threads over to the UI thread and waits for them.
//
// A worker's call is posted as an event to an object living on the UI thread and the worker
// sleeps until the UI thread has run it. Safe at shutdown and bounded:
//  - on the UI thread itself the call runs directly (no self-deadlock);
//  - a call the UI thread has not picked up within `pickup_timeout_ms` is withdrawn and the
//    worker gets "not handled" (the UI thread then never runs it, so the worker's arguments
//    may go out of scope safely);
//  - once the UI thread has started a call, the worker waits for its end (the call may show
//    a message box the operator is reading);
//  - after close() every pending call is withdrawn and every later call returns at once.
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
    explicit UiInvoker(int pickup_timeout_ms = 5000, QObject* parent = nullptr);
    ~UiInvoker() override;

    // Runs `fn` on the UI thread and returns true once it has run; false when it was not run
    // (closed, or not picked up in time). Thread: any.
    bool run(const std::function<void()>& fn);

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
    bool event(QEvent* e) override;

private:
    struct Request;
    void execute(const std::shared_ptr<Request>& req);

    const int pickup_timeout_ms_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool closed_ = false;
    std::vector<std::shared_ptr<Request>> pending_;
};

}  // namespace orvel::gui
