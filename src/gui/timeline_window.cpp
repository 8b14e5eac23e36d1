#include "gui/timeline_window.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace orvel::gui {
namespace {

const QColor kClient(250, 250, 250);
const QColor kBand(200, 200, 200);
const QColor kLine(100, 100, 100);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kCursor(0, 255, 0);
constexpr int kBoxWidth = 12;
constexpr int kCursorHeadWidth = 16;

}  // namespace

TimelineWindow::TimelineWindow(QWidget* parent, const view::ScreenMode& screen,
                               media::RemotePaneHooks& panes, platform::MessageBoxPort& messages,
                               int camera_count, const std::string& date_text)
    : QWidget(parent), messages_(messages), timeline_(panes, camera_count, date_text) {
    setObjectName("SCROLLPLAY");
    setAutoFillBackground(false);
    setCursor(Qt::ArrowCursor);
    all_ = new QCheckBox(this);
    connect(all_, &QCheckBox::clicked, this, [this](bool ticked) {
        timeline_.all_box_clicked(ticked);
        sync_boxes();
        update();
    });
    for (int k = 0; k < media::kVisibleRows; ++k) {
        auto* box = new QCheckBox(this);
        rows_[static_cast<std::size_t>(k)] = box;
        connect(box, &QCheckBox::clicked, this, [this, k](bool ticked) { row_clicked(k, ticked); });
    }
    bar_ = new QScrollBar(Qt::Vertical, this);
    connect(bar_, &QScrollBar::actionTriggered, this, [this](int action) {
        using media::ScrollCode;
        ScrollCode code = ScrollCode::thumb;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = ScrollCode::line_up;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = ScrollCode::line_down;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = ScrollCode::page_up;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = ScrollCode::page_down;
                break;
            case QAbstractSlider::SliderMove:
                break;
            default:
                return;
        }
        timeline_.scroll(code, bar_->sliderPosition());
        // The bar shows the row the timeline settled on, not Qt's own step.
        const int pos = timeline_.view().scroll_row * timeline_.view().row_height();
        bar_->setSliderPosition(pos);
        sync_boxes();
        update();
    });
    const media::TimelinePlacement at =
        media::timeline_placement(screen.kind == view::ScreenModeKind::mode_1280);
    setGeometry(at.x, at.y, at.width, at.height);
    place_children();
    sync_boxes();
    connect(&tick_, &QTimer::timeout, this, [this] {
        timeline_.tick();
        sync_boxes();
        update();
    });
    tick_.start(kTickMs);
    show();
    raise();
}

void TimelineWindow::set_rows(const media::DayIndex& index) {
    timeline_.set_rows(index);
    sync_boxes();
    update();
}

bool TimelineWindow::next_segment(int camera) {
    const bool ok = timeline_.next_segment(camera);
    update();
    return ok;
}

void TimelineWindow::clear_selection() {
    timeline_.clear_selection();
    sync_boxes();
    update();
}

void TimelineWindow::place_children() {
    const bool scrolls = timeline_.view().camera_count > media::kVisibleRows;
    const int bar_width = scrolls ? bar_->sizeHint().width() : 0;
    bar_->setVisible(scrolls);
    bar_->setGeometry(width() - bar_width, 0, bar_width, height());
    timeline_.resize(width() - bar_width, height());
    const int r = timeline_.view().row_height();
    all_->setGeometry(0, 0, kBoxWidth, r);
    for (int k = 0; k < media::kVisibleRows; ++k)
        rows_[static_cast<std::size_t>(k)]->setGeometry(0, (k + 1) * r, kBoxWidth, r);
    bar_->setPageStep(height());
    bar_->setRange(0, std::max(0, r * (timeline_.view().camera_count + 1) - height()));
}

void TimelineWindow::sync_boxes() {
    all_->setChecked(timeline_.all_box());
    for (int k = 0; k < media::kVisibleRows; ++k) {
        QCheckBox* box = rows_[static_cast<std::size_t>(k)];
        box->setChecked(timeline_.row_box(k));
        box->setVisible(timeline_.view().scroll_row + k < timeline_.view().camera_count);
    }
}

bool TimelineWindow::close_camera(int camera) {
    const bool closed = timeline_.close_camera(camera);
    sync_boxes();
    update();
    return closed;
}

void TimelineWindow::row_clicked(int k, bool ticked) {
    timeline_.row_box_clicked(k, ticked);
    sync_boxes();
    update();
}

void TimelineWindow::refused() { messages_.show_message(media::kStopRecordingFirst, ""); }

void TimelineWindow::resizeEvent(QResizeEvent*) { place_children(); }

void TimelineWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        timeline_.right_click();
        update();
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    if (timeline_.press(e->position().toPoint().x(), e->position().toPoint().y()) ==
        media::Timeline::MouseResult::refused_recording) {
        refused();
        return;
    }
    left_down_ = true;
}

void TimelineWindow::mouseMoveEvent(QMouseEvent* e) {
    if (!timeline_.dragging()) return;
    timeline_.move(e->position().toPoint().x());
    update();
}

void TimelineWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !left_down_) return;
    left_down_ = false;
    if (timeline_.release(e->position().toPoint().x()) ==
        media::Timeline::MouseResult::refused_recording)
        refused();
    sync_boxes();
    update();
}

void TimelineWindow::paintEvent(QPaintEvent*) {
    const media::TimelineView& v = timeline_.view();
    const int w = v.width, h = v.height, r = v.row_height(), band = v.header_height();
    const int axis = v.axis_width();
    QPainter p(this);
    p.fillRect(0, 0, w, h, kClient);
    p.fillRect(0, 0, w, band, kBand);
    p.fillRect(0, 0, media::kLeftColumnPx, h, kBand);
    p.setPen(QPen(kLine, 1));
    QFont font = p.font();
    font.setPixelSize(std::max(8, std::min(12, band - 4)));
    p.setFont(font);
    p.drawText(QRect(0, 0, media::kLeftColumnPx, band), Qt::AlignCenter, "all");

    // Hour labels, each centred in its column, with a line at the column's left edge.
    const int labels = v.zoomed ? 2 : 24;
    const double column = static_cast<double>(axis) / labels;
    for (int i = 0; i < labels; ++i) {
        const int left = media::kLeftColumnPx + static_cast<int>(i * column);
        const int hour = v.zoomed ? v.zoom_start_hour + i : i;
        p.drawText(QRectF(left, 0, column, band), Qt::AlignCenter, QString::number(hour));
        p.drawLine(left, 0, left, h);
    }
    for (int i = 0; i < 24; ++i) {
        const int x = media::kLeftColumnPx + i * axis / 24;
        p.drawLine(x, band, x, h);
    }
    if (v.zoomed) {
        const int x = media::kLeftColumnPx + 12 * axis / 24;
        p.drawLine(x, 0, x, band);
    }

    for (int k = 1; k <= media::kVisibleRows; ++k) {
        const int row = v.scroll_row + k - 1;
        const int camera = timeline_.row_camera(row);
        if (camera > 0)
            p.drawText(QRect(kBoxWidth, k * r, media::kLeftColumnPx - kBoxWidth - 3, r),
                       Qt::AlignRight | Qt::AlignVCenter, QString("cam %1").arg(camera));
        p.drawLine(0, static_cast<int>(k * (h * 0.2)), w, static_cast<int>(k * (h * 0.2)));
        for (const auto& segment : timeline_.row_segments(row)) {
            media::BarRect bar;
            if (!media::segment_bar(v, k, segment, bar) || bar.left >= w) continue;
            p.fillRect(QRect(QPoint(bar.left, bar.top), QPoint(bar.right - 1, bar.bottom - 1)),
                       bar.red ? kRed : kBlue);
        }
    }

    // The cursor mixes with what is under it, so it stays visible on every colour.
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    const int x = timeline_.cursor_x();
    p.fillRect(x, band, 1, h - band, kCursor);
    p.fillRect(x - kCursorHeadWidth / 2, 0, kCursorHeadWidth, band / 2, kCursor);
}

}  // namespace orvel::gui
