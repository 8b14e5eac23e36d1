#pragma once
// Owner-less message boxes shown to the operator.

#include <string_view>

namespace orvel::platform {

enum class MessageButtons { ok, ok_cancel, yes_no };
enum class MessageIcon { none, information, warning, error, question };
enum class MessageResult { ok, cancel, yes, no };

class MessageBoxPort {
public:
    virtual ~MessageBoxPort() = default;

    // Shows a modal box and returns the button the operator pressed.
    // Thread: any. The Qt adapter runs the box on the UI thread; a worker thread
    // that calls it waits until the box is closed.
    virtual MessageResult show_message(std::string_view text, std::string_view caption,
                                       MessageButtons buttons = MessageButtons::ok,
                                       MessageIcon icon = MessageIcon::none) = 0;
};

}  // namespace orvel::platform
