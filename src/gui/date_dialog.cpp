#include "gui/date_dialog.h"

#include <QPainter>

namespace orvel::gui {
namespace {

constexpr int kCircleHeight = 13;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

}  // namespace

MarkedCalendar::MarkedCalendar(QWidget* parent) : QCalendarWidget(parent) {
    QFont font("Arial");
    font.setPixelSize(15);
    font.setWeight(QFont::Medium);  // 500
    setFont(font);
    setGridVisible(false);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
}

void MarkedCalendar::set_applied_masks(const media::DayMasks& applied) {
    applied_ = applied;
    updateCells();
}

bool MarkedCalendar::circled(QDate date) const {
    const int which = media::month_offset(date.year(), date.month(), yearShown(), monthShown());
    return media::day_marked(applied_, which, date.day());
}

void MarkedCalendar::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    QCalendarWidget::paintCell(painter, rect, date);
    if (!circled(date)) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(QColor(255, 0, 0), 1));
    painter->setBrush(Qt::NoBrush);
    const int width = std::max(6, rect.width() - 5);
    // 13 pixels high, or the text's height where the font is taller, so it goes around it.
    const int height =
        std::min(std::max(kCircleHeight, painter->fontMetrics().height() + 2), rect.height() - 1);
    painter->drawEllipse(
        QRect(rect.center().x() - width / 2, rect.center().y() - height / 2, width, height));
    painter->restore();
}

DateDialog::DateDialog(QWidget* parent, QDate query, Hooks hooks)
    : QDialog(parent), hooks_(std::move(hooks)) {
    setWindowTitle("Date");
    setModal(true);
    query_year_ = opening_year_ = query.year();
    query_month_ = opening_month_ = query.month();
    calendar_ = new MarkedCalendar(this);
    calendar_->setObjectName(QString::number(kCalendarId));
    calendar_->setSelectedDate(query);
    const QSize size = calendar_->minimumSizeHint().expandedTo(QSize(260, 180));
    const int width = std::max(size.width() + 20, 2 * kButtonWidth + 40);
    calendar_->setGeometry((width - size.width()) / 2, 10, size.width(), size.height());
    const int buttons_y = 10 + size.height() + 10;
    ok_ = new QPushButton("OK", this);
    cancel_ = new QPushButton("Cancel", this);
    ok_->setDefault(true);
    ok_->setGeometry(width / 2 - kButtonWidth - 8, buttons_y, kButtonWidth, kButtonHeight);
    cancel_->setGeometry(width / 2 + 8, buttons_y, kButtonWidth, kButtonHeight);
    setFixedSize(width, buttons_y + kButtonHeight + 10);
    connect(ok_, &QPushButton::clicked, this, [this] { accept_date(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(2); });
    connect(calendar_, &QCalendarWidget::currentPageChanged, this,
            [this](int y, int m) { page_changed(y, m); });
    apply();
}

void DateDialog::set_masks(const media::DayMasks& masks) {
    masks_ = masks;
    apply();
}

void DateDialog::apply() {
    const int offset = media::month_offset(calendar_->yearShown(), calendar_->monthShown(),
                                           query_year_, query_month_);
    calendar_->set_applied_masks(media::applied_masks(offset, masks_));
}

void DateDialog::page_changed(int year, int month) {
    // One month back from the queried month, the masks cover all three displayed months;
    // elsewhere the DVR is asked for the masks that make it so (except on the opening month,
    // whose following month lies after today).
    const int offset = media::month_offset(year, month, query_year_, query_month_);
    const bool opening_month = year == opening_year_ && month == opening_month_;
    if (offset != -1 && !(offset == 0 && opening_month) && hooks_.ask_masks) {
        const QDate next = QDate(year, month, 1).addMonths(1);
        if (hooks_.ask_masks(next.year(), next.month())) {
            query_year_ = next.year();
            query_month_ = next.month();
            masks_ = {};
        }
    }
    apply();
}

void DateDialog::accept_date() {
    const QDate d = calendar_->selectedDate();
    if (hooks_.chosen) hooks_.chosen(media::search_date_text(d.year(), d.month(), d.day()));
    done(1);
}

}  // namespace orvel::gui
