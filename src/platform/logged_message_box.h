#pragma once
// A message-box port that writes every text shown to the operator to the log before the
// box opens, so a failure the operator saw (and perhaps dismissed) can be found later.

#include "platform/log.h"
#include "platform/ports/message_box.h"

namespace orvel::platform {

class LoggedMessageBox final : public MessageBoxPort {
public:
    // `inner` shows the boxes and outlives this wrapper.
    explicit LoggedMessageBox(MessageBoxPort& inner) : inner_(inner) {}

    // Thread: any (as the inner port).
    MessageResult show_message(std::string_view text, std::string_view caption,
                               MessageButtons buttons = MessageButtons::ok,
                               MessageIcon icon = MessageIcon::none) override {
        log_printf(LogLevel::warn, "shown to the operator: \"%.*s\" (caption \"%.*s\")",
                   static_cast<int>(text.size()), text.data(), static_cast<int>(caption.size()),
                   caption.data());
        return inner_.show_message(text, caption, buttons, icon);
    }

private:
    MessageBoxPort& inner_;
};

}  // namespace orvel::platform
