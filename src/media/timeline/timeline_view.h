// Geometry of the timeline window: the time axis of the whole day or of a two-hour window,
// the camera rows, the segment bars and the scroll row. Pure functions of the view state.
#pragma once

#include "media/timeline/day_index.h"

namespace orvel::media {

inline constexpr int kLeftColumnPx = 60;
inline constexpr int kVisibleRows = 4;
inline constexpr int kDaySeconds = 86400;
inline constexpr int kZoomSeconds = 7200;
inline constexpr int kLastZoomStartHour = 22;
inline constexpr int kCursorGrabPx = 4;  // a press this close to the cursor drags it

struct TimelineView {
    int width = 600;  // client width W
    int height = 94;  // client height H
    bool zoomed = false;
    int zoom_start_hour = 0;  // 0..22
    int scroll_row = 0;       // first camera row shown
    int camera_count = 0;     // rows available

    int row_height() const { return height / 5; }
    int header_height() const { return static_cast<int>(height * 0.2); }
    int axis_width() const { return width - kLeftColumnPx; }
};

// Pixel column of a second of the day (whole minutes in the whole-day view).
int time_to_x(const TimelineView& view, int t_s);
// Second of the day under a pixel column.
int x_to_time(const TimelineView& view, int x);
// Column of the cursor for a position: its whole minute.
inline int cursor_column(const TimelineView& view, int t_s) {
    return time_to_x(view, t_s - t_s % 60);
}

struct BarRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool red = false;  // kind 1
};
// The bar of a segment in visible row k (1..4). False when the two-hour view does not show
// it (it starts before the window or after its end).
bool segment_bar(const TimelineView& view, int k, const RecordingSegment& segment, BarRect& out);

enum class ScrollCode { line_up, line_down, page_up, page_down, thumb };
// The scroll row after a scroll-bar action (`thumb_px` for ScrollCode::thumb), clamped to
// 0 <= row <= camera count - 4 (0 with four cameras or fewer).
int scrolled_row(const TimelineView& view, ScrollCode code, int thumb_px);

// Where the timeline window sits in the main window for a screen mode.
struct TimelinePlacement {
    int x, y, width, height;
};
inline TimelinePlacement timeline_placement(bool mode_1280) {
    return mode_1280 ? TimelinePlacement{21, 897, 750, 119} : TimelinePlacement{8, 671, 600, 94};
}

}  // namespace orvel::media
