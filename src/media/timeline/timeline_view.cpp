#include "media/timeline/timeline_view.h"

#include <algorithm>

namespace orvel::media {

int time_to_x(const TimelineView& v, int t_s) {
    const long long w = v.axis_width();
    if (!v.zoomed) return kLeftColumnPx + static_cast<int>((t_s / 60) * w / 1440);
    return kLeftColumnPx + static_cast<int>((t_s - 3600LL * v.zoom_start_hour) * w / kZoomSeconds);
}

int x_to_time(const TimelineView& v, int x) {
    const long long w = std::max(1, v.axis_width());
    if (!v.zoomed) return static_cast<int>((x - kLeftColumnPx) * 86400LL / w);
    return static_cast<int>((x - kLeftColumnPx) * 7200LL / w) + 3600 * v.zoom_start_hour;
}

bool segment_bar(const TimelineView& v, int k, const RecordingSegment& s, BarRect& out) {
    const long long w = v.axis_width();
    const int minute_of_day = s.hour * 60 + s.minute;
    long long left = 0, width = 0;
    if (!v.zoomed) {
        left = kLeftColumnPx + minute_of_day * w / 1440;
        width = s.length_s * w / kDaySeconds;
    } else {
        const int window_minute = minute_of_day - 60 * v.zoom_start_hour;
        if (window_minute < 0 || window_minute >= 120) return false;
        left = kLeftColumnPx + window_minute * w / 120;
        width = s.length_s * w / kZoomSeconds;
    }
    out.left = static_cast<int>(left);
    out.right = static_cast<int>(left + std::max(1LL, width));
    const int r = v.row_height();
    out.top = k * r + 3;
    out.bottom = (k + 1) * r;
    out.red = s.kind == 1;
    return true;
}

int scrolled_row(const TimelineView& v, ScrollCode code, int thumb_px) {
    int row = v.scroll_row;
    switch (code) {
        case ScrollCode::line_up:
            row -= 1;
            break;
        case ScrollCode::line_down:
            if (row + kVisibleRows < v.camera_count) row += 1;
            break;
        case ScrollCode::page_up:
            row -= 5;
            break;
        case ScrollCode::page_down:
            row += 4;
            break;
        case ScrollCode::thumb:
            row = v.row_height() > 0 ? thumb_px / v.row_height() : 0;
            break;
    }
    const int last = std::max(0, v.camera_count - kVisibleRows);
    return std::clamp(row, 0, last);
}

}  // namespace orvel::media
