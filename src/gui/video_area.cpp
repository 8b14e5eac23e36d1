#include "gui/video_area.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

namespace orvel::gui {

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("VIEWCLASS"));
    // The window fills its own background, and only where no picture covers it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(kVideoBackground));
    setPalette(pal);
    setCursor(Qt::ArrowCursor);
}

QRect VideoWindow::selection_frame(const VideoGridView& v, int w, int h) {
    const int n = v.grid_side;
    if (n <= 1 || v.full_view || v.click_x <= 0 || v.click_y <= 0) return {};
    const int cw = (w - 2) / n, ch = (h - 2) / n;
    if (cw <= 0 || ch <= 0) return {};
    const int col = std::min(n - 1, v.click_x / cw), row = std::min(n - 1, v.click_y / ch);
    // QPainter::drawRect with a 1-pixel pen covers width + 1 x height + 1 pixels.
    return QRect(1 + col * cw, 1 + row * ch, cw, ch);
}

void VideoWindow::paintEvent(QPaintEvent* event) {
    const VideoGridView v = source_ ? source_() : VideoGridView{};
    const int w = width(), h = height();
    const QRect frame = selection_frame(v, w, h);
    if (on_selection_) on_selection_(frame);
    const QRegion todo = covered_ ? event->region() - covered_() : event->region();
    if (todo.isEmpty()) return;
    QPainter p(this);
    p.setClipRegion(todo);
    p.fillRect(todo.boundingRect(), QColor(kVideoBackground));
    // Border of the child-with-border window.
    p.setPen(QColor(44, 48, 56));
    p.drawRect(0, 0, w - 1, h - 1);
    const int n = v.grid_side;
    if (n <= 1 || v.full_view) return;
    const int cw = (w - 2) / n, ch = (h - 2) / n;
    p.translate(1, 1);
    p.setPen(QColor(150, 150, 200));
    p.drawRect(0, 0, w - 3, h - 3);
    for (int k = 1; k < n; ++k) {
        p.drawLine(k * cw, 0, k * cw, h - 3);
        p.drawLine(0, k * ch, w - 3, k * ch);
    }
    // Empty panes carry their number, faintly.
    QFont f = font();
    f.setPixelSize(std::max(10, ch / 10));
    p.setFont(f);
    p.setPen(QColor(60, 62, 84));
    // Only the cells being repainted: pictures repaint their panes many times a second.
    const QRect area = todo.boundingRect().translated(-1, -1);
    for (int pane = 0; pane < n * n; ++pane) {
        const QRect cell((pane % n) * cw, (pane / n) * ch, cw, ch);
        if (!cell.intersects(area)) continue;
        p.drawText(cell, Qt::AlignCenter, QStringLiteral("%1").arg(pane + 1));
    }
    // Selection frame around the cell holding the remembered click point.
    if (!frame.isNull()) {
        p.resetTransform();
        p.setPen(QPen(QColor(kSelectionFrameColour), 1));
        p.drawRect(frame);
    }
}

void VideoWindow::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton) drag_from_ = at;
    if (e->button() == Qt::LeftButton && on_click_) on_click_(at.x(), at.y(), false);
    if (e->button() == Qt::RightButton && on_context_)
        on_context_(at.x(), at.y(), e->globalPosition().toPoint());
    update();
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton && on_click_) on_click_(at.x(), at.y(), true);
    update();
}

void VideoWindow::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const QPoint at = e->position().toPoint();
    const QPoint moved = at - drag_from_;
    drag_from_ = at;
    if (on_drag_ && !moved.isNull()) on_drag_(moved.x(), moved.y());
}

void VideoWindow::wheelEvent(QWheelEvent* e) {
    wheel_rest_ += e->angleDelta().y();
    const int steps = wheel_rest_ / QWheelEvent::DefaultDeltasPerStep;
    wheel_rest_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    const QPoint at = e->position().toPoint();
    if (steps != 0 && on_wheel_) on_wheel_(at.x(), at.y(), steps);
    e->accept();
}

FullScreenWindow::FullScreenWindow() : VideoWindow(nullptr) {
    setObjectName(QStringLiteral("FULLVIEW"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFocusPolicy(Qt::StrongFocus);
}

void FullScreenWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && on_escape_) {
        on_escape_();
        return;
    }
    VideoWindow::keyPressEvent(e);
}

VideoArea::VideoArea(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("control_1168"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(kVideoBackground));
    setPalette(pal);
    window_ = new VideoWindow(this);
}

}  // namespace orvel::gui
