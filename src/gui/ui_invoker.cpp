#include "gui/ui_invoker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace orvel::gui {
namespace {
const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

struct UiInvoker::Request {
    enum class State { queued, running, done, withdrawn };
    std::function<void()> fn;
    State state = State::queued;
};

namespace {
class CallEvent : public QEvent {
public:
    explicit CallEvent(std::weak_ptr<void> req) : QEvent(kCallEvent), request(std::move(req)) {}
    std::weak_ptr<void> request;
};
}  // namespace

UiInvoker::UiInvoker(int pickup_timeout_ms, QObject* parent)
    : QObject(parent), pickup_timeout_ms_(pickup_timeout_ms) {}

UiInvoker::~UiInvoker() { close(); }

bool UiInvoker::on_ui_thread() const { return QThread::currentThread() == thread(); }

bool UiInvoker::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool UiInvoker::run(const std::function<void()>& fn) {
    if (on_ui_thread()) {
        fn();
        return true;
    }
    auto req = std::make_shared<Request>();
    req->fn = fn;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        pending_.push_back(req);
    }
    QCoreApplication::postEvent(this, new CallEvent(std::static_pointer_cast<void>(req)));

    std::unique_lock lock(mutex_);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(pickup_timeout_ms_);
    // Wait for pick-up (bounded), then for the end of a started call.
    while (req->state == Request::State::queued) {
        if (cv_.wait_until(lock, deadline) == std::cv_status::timeout &&
            req->state == Request::State::queued) {
            req->state = Request::State::withdrawn;
            break;
        }
    }
    while (req->state == Request::State::running) cv_.wait(lock);
    pending_.erase(std::remove(pending_.begin(), pending_.end(), req), pending_.end());
    return req->state == Request::State::done;
}

void UiInvoker::execute(const std::shared_ptr<Request>& req) {
    {
        std::lock_guard lock(mutex_);
        if (req->state != Request::State::queued) return;  // withdrawn by the worker or close()
        req->state = Request::State::running;
    }
    req->fn();
    {
        std::lock_guard lock(mutex_);
        req->state = Request::State::done;
    }
    cv_.notify_all();
}

bool UiInvoker::event(QEvent* e) {
    if (e->type() != kCallEvent) return QObject::event(e);
    auto req = std::static_pointer_cast<Request>(static_cast<CallEvent*>(e)->request.lock());
    if (req) execute(req);
    return true;
}

void UiInvoker::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        for (auto& req : pending_) {
            if (req->state == Request::State::queued) req->state = Request::State::withdrawn;
        }
    }
    cv_.notify_all();
}

}  // namespace orvel::gui
