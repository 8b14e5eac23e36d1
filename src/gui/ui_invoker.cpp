#include "gui/ui_invoker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <algorithm>

namespace orvel::gui {
namespace {
const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

struct UiInvoker::Request {
    enum class State { queued, running, done, withdrawn };
    std::function<void()> fn;
    State state = State::queued;
};

UiInvoker::UiInvoker(QObject* parent) : QObject(parent) {}

UiInvoker::~UiInvoker() { close(); }

bool UiInvoker::on_ui_thread() const { return QThread::currentThread() == thread(); }

bool UiInvoker::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool UiInvoker::enqueue(const std::shared_ptr<Request>& req) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        pending_.push_back(req);
    }
    // The pending list holds the request; the event carries nothing and only wakes the UI
    // thread, which takes the oldest queued request under the mutex. A request withdrawn by
    // close() leaves the list, so its event finds nothing. (The event object is never read
    // here: Qt's own queue locking is invisible to ThreadSanitizer, our mutex is not.)
    QCoreApplication::postEvent(this, new QEvent(kCallEvent));
    return true;
}

bool UiInvoker::run(const std::function<void()>& fn) {
    if (on_ui_thread()) {
        fn();
        return true;
    }
    auto req = std::make_shared<Request>();
    req->fn = fn;  // runs while this frame waits, so references in fn stay valid
    if (!enqueue(req)) return false;
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] {
        return req->state == Request::State::done || req->state == Request::State::withdrawn;
    });
    return req->state == Request::State::done;
}

bool UiInvoker::post(std::function<void()> fn) {
    if (on_ui_thread()) {
        fn();
        return true;
    }
    auto req = std::make_shared<Request>();
    req->fn = std::move(fn);
    return enqueue(req);
}

void UiInvoker::execute(const std::shared_ptr<Request>& req) {
    {
        std::lock_guard lock(mutex_);
        if (req->state != Request::State::queued) return;  // withdrawn by close()
        req->state = Request::State::running;
    }
    req->fn();
    {
        std::lock_guard lock(mutex_);
        req->state = Request::State::done;
        pending_.erase(std::remove(pending_.begin(), pending_.end(), req), pending_.end());
    }
    cv_.notify_all();
}

void UiInvoker::customEvent(QEvent* /*e*/) {
    // Only call events are posted to this object: one per request, oldest first.
    std::shared_ptr<Request> req;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : pending_) {
            if (r->state == Request::State::queued) {
                req = r;
                break;
            }
        }
    }
    if (req) execute(req);
}

void UiInvoker::close() {
    std::vector<std::shared_ptr<Request>> withdrawn;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        // A running call stays listed and removes itself when it ends.
        for (auto& req : pending_) {
            if (req->state != Request::State::queued) continue;
            req->state = Request::State::withdrawn;
            withdrawn.push_back(req);
        }
        std::erase_if(pending_,
                      [](const auto& req) { return req->state == Request::State::withdrawn; });
    }
    cv_.notify_all();
    // Withdrawn posted calls (and what they captured) are freed here, outside the lock.
}

}  // namespace orvel::gui
