// The Date dialog of the remote search (template 388, "Date"): a month calendar (control
// 1045) whose days with recordings on the DVR are circled in red, OK (1) and Cancel (2).
// The three day masks of the last recording-days reply apply to the months around the
// queried month; showing another month asks the DVR for that month's masks.
#pragma once

#include <QCalendarWidget>
#include <QDate>
#include <QDialog>
#include <QPushButton>
#include <functional>
#include <string>

#include "media/timeline/calendar_marks.h"

namespace orvel::gui {

// A calendar that circles marked days. Thread: UI thread.
class MarkedCalendar : public QCalendarWidget {
public:
    explicit MarkedCalendar(QWidget* parent);
    // Masks of the displayed months: before, shown, after.
    void set_applied_masks(const media::DayMasks& applied);
    const media::DayMasks& applied_masks() const { return applied_; }
    // True when `date` is circled on the shown page.
    bool circled(QDate date) const;

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;

private:
    media::DayMasks applied_{};
};

class DateDialog : public QDialog {
public:
    struct Hooks {
        // OK: the date text "yy-mm-dd" (message 32771; the search runs before the dialog
        // ends).
        std::function<void(const std::string& date_text)> chosen;
        // Asks for the masks of the month (year, month) and the two before it; false when
        // the DVR cannot be asked.
        std::function<bool(int year, int month)> ask_masks;
    };
    static constexpr int kCalendarId = 1045;

    // `query` is the month whose masks were asked for when the dialog opened.
    // Thread: UI thread (all members).
    DateDialog(QWidget* parent, QDate query, Hooks hooks);

    // The masks of the last query arrived (M-2, M-1, M).
    void set_masks(const media::DayMasks& masks);
    MarkedCalendar* calendar() const { return calendar_; }
    QPushButton* ok_button() const { return ok_; }
    int query_year() const { return query_year_; }
    int query_month() const { return query_month_; }

private:
    void page_changed(int year, int month);
    void apply();
    void accept_date();

    Hooks hooks_;
    MarkedCalendar* calendar_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    int query_year_ = 2000;
    int query_month_ = 1;
    int opening_year_ = 2000;  // the month shown first, whose masks were asked for before
    int opening_month_ = 1;
    media::DayMasks masks_{};
};

}  // namespace orvel::gui
