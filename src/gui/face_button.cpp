#include "gui/face_button.h"

#include <QPainter>

#include "gui/faces.h"

namespace orvel::gui {

FaceButton::FaceButton(int control_id, int face, int pressed_face, QWidget* parent)
    : QAbstractButton(parent), control_id_(control_id), face_(face), pressed_face_(pressed_face) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("control_%1").arg(control_id));
}

void FaceButton::set_face(int face) {
    if (face == face_) return;
    face_ = face;
    // Painted at once: the logic often shows a face for a short wait (a pressed face for
    // 100 ms) before the event loop runs again.
    if (isVisible()) {
        repaint();
    } else {
        update();
    }
}

QSize FaceButton::sizeHint() const { return face_size(face_); }

void FaceButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool down = isDown() && pressed_face_ != 0 && pressed_face_ != face_;
    const QPixmap pm = face_pixmap(down ? pressed_face_ : face_, size());
    if (isDown() && !down) {
        p.drawPixmap(1, 1, pm);
        p.fillRect(rect(), QColor(0, 0, 0, 60));
    } else {
        p.drawPixmap(0, 0, pm);
    }
    if (underMouse() && !isDown() && isEnabled()) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(QColor(70, 160, 235, 150), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
    if (!isEnabled()) p.fillRect(rect(), QColor(10, 12, 15, 140));
}

}  // namespace orvel::gui
