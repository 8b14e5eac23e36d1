// Owner-less message boxes on Qt. A worker's box is shown on the UI thread and the worker
// waits until the operator closes it.
#pragma once

#include <functional>

#include "gui/ui_invoker.h"
#include "platform/ports/message_box.h"

namespace orvel::gui {

class QtMessageBox final : public platform::MessageBoxPort {
public:
    // Thread: UI thread.
    explicit QtMessageBox(UiInvoker& invoker) : invoker_(invoker) {}

    // Thread: any. Returns cancel (or no) when the box could not be shown.
    platform::MessageResult show_message(std::string_view text, std::string_view caption,
                                         platform::MessageButtons buttons,
                                         platform::MessageIcon icon) override;

    // Replaces the modal box (tests record the boxes instead of showing them).
    // Thread: UI thread, before workers start.
    using Override = std::function<platform::MessageResult(
        const std::string&, const std::string&, platform::MessageButtons, platform::MessageIcon)>;
    void set_override(Override fn) { override_ = std::move(fn); }

private:
    UiInvoker& invoker_;
    Override override_;
};

}  // namespace orvel::gui
