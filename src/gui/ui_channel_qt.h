// The private-message channel (32770 pane finished, 32771 remote date chosen, 32772 display
// mode changed, the site connections' replies) on Qt: a worker's message becomes an event on
// the UI thread; a sent message makes the worker wait until the main window's handler has
// returned, a posted one does not.
#pragma once

#include <atomic>

#include "gui/ui_invoker.h"
#include "platform/ports/ui_channel.h"

namespace orvel::gui {

class QtUiChannel final : public platform::UiMessageChannel {
public:
    // Thread: UI thread. The invoker must outlive the channel's users.
    explicit QtUiChannel(UiInvoker& invoker) : invoker_(invoker) {}

    // Thread: UI thread, before workers start.
    void set_handler(platform::UiMessageHandler* handler) { handler_.store(handler); }

    // Thread: any. See UiMessageChannel; returns 0 without handling once shut down or when
    // no handler is set.
    std::intptr_t send_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        std::intptr_t result = 0;
        invoker_.run([&] {
            if (platform::UiMessageHandler* h = handler_.load()) {
                result = h->handle_private_message(message, wparam, lparam);
            }
        });
        return result;
    }

    // Thread: any. See UiMessageChannel.
    void post_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        invoker_.post([this, message, wparam, lparam] {
            if (platform::UiMessageHandler* h = handler_.load())
                h->handle_private_message(message, wparam, lparam);
        });
    }

private:
    UiInvoker& invoker_;
    std::atomic<platform::UiMessageHandler*> handler_{nullptr};
};

}  // namespace orvel::gui
