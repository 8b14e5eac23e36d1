#include "gui/pad_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "gui/faces.h"

namespace orvel::gui {

PadButton::PadButton(int index, int face, int pressed_face, bool latching, QWidget* parent)
    : QWidget(parent),
      index_(index),
      face_(face),
      pressed_face_(pressed_face),
      latching_(latching) {
    setCursor(Qt::PointingHandCursor);
    setObjectName(QStringLiteral("pad_%1").arg(index));
}

void PadButton::set_on(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
}

void PadButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool pressed_look = latching_ ? on_ : down_;
    p.drawPixmap(0, 0, face_pixmap(pressed_look ? pressed_face_ : face_, size()));
}

void PadButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || down_) return;
    down_ = true;
    update();
    if (handler_) handler_(index_, true);
}

void PadButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !down_) return;
    down_ = false;
    update();
    if (handler_) handler_(index_, false);
}

}  // namespace orvel::gui
