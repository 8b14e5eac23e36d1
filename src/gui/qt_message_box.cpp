#include "gui/qt_message_box.h"

#include <QMessageBox>

namespace orvel::gui {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;

MessageResult QtMessageBox::show_message(std::string_view text, std::string_view caption,
                                         MessageButtons buttons, MessageIcon icon) {
    const MessageResult refused =
        buttons == MessageButtons::yes_no ? MessageResult::no : MessageResult::cancel;
    const std::string t(text), c(caption);
    return invoker_.call(
        [&] {
            if (override_) return override_(t, c, buttons, icon);
            QMessageBox box;
            box.setText(QString::fromUtf8(t.c_str()));
            box.setWindowTitle(QString::fromUtf8(c.c_str()));
            switch (icon) {
                case MessageIcon::information: box.setIcon(QMessageBox::Information); break;
                case MessageIcon::warning: box.setIcon(QMessageBox::Warning); break;
                case MessageIcon::error: box.setIcon(QMessageBox::Critical); break;
                case MessageIcon::question: box.setIcon(QMessageBox::Question); break;
                case MessageIcon::none: break;
            }
            switch (buttons) {
                case MessageButtons::ok: box.setStandardButtons(QMessageBox::Ok); break;
                case MessageButtons::ok_cancel:
                    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                    break;
                case MessageButtons::yes_no:
                    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                    break;
            }
            switch (box.exec()) {
                case QMessageBox::Ok: return MessageResult::ok;
                case QMessageBox::Yes: return MessageResult::yes;
                case QMessageBox::No: return MessageResult::no;
                default: return refused;
            }
        },
        refused);
}

}  // namespace orvel::gui
