#include "gui/qt_main_controls.h"

#include <QCoreApplication>

namespace orvel::gui {

void QtMainControls::set_face(int control_id, int bitmap_id) {
    invoker_.run([&] {
        if (FaceButton* b = window_.button(control_id)) b->set_face(bitmap_id);
    });
}

void QtMainControls::set_enabled(int control_id, bool enabled) {
    invoker_.run([&] {
        if (QWidget* w = window_.control(control_id)) w->setEnabled(enabled);
    });
}

void QtMainControls::set_visible(int control_id, bool visible) {
    invoker_.run([&] {
        if (QWidget* w = window_.control(control_id)) w->setVisible(visible);
    });
}

void QtMainControls::set_text(int control_id, std::string_view text) {
    const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    invoker_.run([&] {
        QWidget* w = window_.control(control_id);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(t);
        } else if (w) {
            w->setToolTip(t);
        }
    });
}

void QtMainControls::set_slider_range(int control_id, int min_value, int max_value) {
    invoker_.run([&] {
        if (auto* s = qobject_cast<QSlider*>(window_.control(control_id)))
            s->setRange(min_value, max_value);
    });
}

void QtMainControls::set_slider_position(int control_id, int position) {
    invoker_.run([&] {
        if (auto* s = qobject_cast<QSlider*>(window_.control(control_id))) {
            const QSignalBlocker quiet(s);  // a program move is not an operator's scroll
            s->setValue(position);
        }
    });
}

int QtMainControls::slider_position(int control_id) const {
    return invoker_.call(
        [&] {
            auto* s = qobject_cast<QSlider*>(window_.control(control_id));
            // The position the thumb shows, also while an action is being applied.
            return s ? s->sliderPosition() : 0;
        },
        0);
}

int QtMainControls::combo_selection(int control_id) const {
    return invoker_.call(
        [&] {
            auto* c = qobject_cast<QComboBox*>(window_.control(control_id));
            return c ? c->currentIndex() : -1;
        },
        -1);
}

platform::Rect QtMainControls::control_rect(int control_id) const {
    return invoker_.call(
        [&] {
            QWidget* w = window_.control(control_id);
            if (!w) return platform::Rect{};
            const QRect g = w->geometry();
            return platform::Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
        },
        platform::Rect{});
}

void QtMainControls::invalidate_video(const platform::Rect& area) {
    invoker_.run([&] {
        if (VideoArea* v = window_.video_area())
            v->video_window()->update(QRect(area.left, area.top, area.width(), area.height()));
    });
}

void QtMainControls::place_video_window(int width, int height) {
    invoker_.run([&] {
        if (VideoArea* v = window_.video_area()) {
            v->video_window()->setGeometry(0, 0, width, height);
            v->video_window()->show();
        }
    });
}

void QtMainControls::minimise_window() { window_.showMinimized(); }

void QtMainControls::post_quit(int exit_code) {
    if (quit_) {
        quit_(exit_code);
    } else {
        QCoreApplication::exit(exit_code);
    }
}

}  // namespace orvel::gui
