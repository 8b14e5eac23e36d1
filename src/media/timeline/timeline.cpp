#include "media/timeline/timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace orvel::media {
namespace {

constexpr std::size_t kDateTextChars = 8;

}  // namespace

std::string remote_file_path(std::string_view date_text, int camera, const RecordingSegment& s) {
    const std::string date(date_text.substr(0, kDateTextChars));
    char path[160];
    std::snprintf(path, sizeof path,
                  "%c:\\dvr_media\\video\\%s\\camera %02d\\%s-%02d-%02d-%02d-%02d.dvr", s.drive,
                  date.c_str(), camera, date.c_str(), s.hour, s.minute, s.second, camera);
    return path;
}

Timeline::Timeline(RemotePaneHooks& hooks, int camera_count, std::string_view date_text)
    : hooks_(hooks), date_text_(date_text.substr(0, kDateTextChars)) {
    view_.camera_count = std::clamp(camera_count, 0, kMaxDayIndexRows);
}

void Timeline::set_rows(const DayIndex& index) {
    const auto& in = index.rows();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Row& r = rows_[i];
        const int camera = i < in.size() ? in[i].camera : 0;
        if (camera != r.camera) r = Row{};
        r.camera = camera;
        r.segments = i < in.size() ? in[i].segments : std::vector<RecordingSegment>{};
        // The current segment is found again by its start time.
        r.current = kNoSegment;
        for (std::size_t s = 0; s < r.segments.size(); ++s)
            if (r.segments[s].start_s() == r.current_start_s) {
                r.current = static_cast<int>(s);
                break;
            }
        if (r.current == kNoSegment) r.current_start_s = kNoPosition;
    }
    selected_count_ = static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.selected; }));
}

void Timeline::resize(int width, int height) {
    view_.width = width;
    view_.height = height;
    if (position_s_ != kNoPosition) cursor_x_ = cursor_column(view_, position_s_);
}

int Timeline::row_camera(int row) const {
    return row >= 0 && row < kMaxDayIndexRows ? rows_[static_cast<std::size_t>(row)].camera : 0;
}

const std::vector<RecordingSegment>& Timeline::row_segments(int row) const {
    static const std::vector<RecordingSegment> kNone;
    return row >= 0 && row < kMaxDayIndexRows ? rows_[static_cast<std::size_t>(row)].segments
                                              : kNone;
}

bool Timeline::row_selected(int row) const {
    return row >= 0 && row < kMaxDayIndexRows && rows_[static_cast<std::size_t>(row)].selected;
}

bool Timeline::row_playing(int row) const {
    return row >= 0 && row < kMaxDayIndexRows && rows_[static_cast<std::size_t>(row)].playing;
}

int Timeline::row_current_segment(int row) const {
    return row >= 0 && row < kMaxDayIndexRows ? rows_[static_cast<std::size_t>(row)].current
                                              : kNoSegment;
}

bool Timeline::row_box_clicked(int k, bool ticked) {
    if (k < 0 || k >= kVisibleRows) return false;
    const int row = view_.scroll_row + k;
    if (row >= kMaxDayIndexRows) return false;
    if (ticked) return tick_row(row);
    untick_row(row);
    return false;
}

void Timeline::all_box_clicked(bool ticked) {
    all_box_ = ticked;
    const int rows = std::min(view_.camera_count, kMaxDayIndexRows);
    bool any_playing = false;
    for (int row = 0; row < rows; ++row) {
        if (ticked) {
            tick_row(row);
            any_playing = any_playing || rows_[static_cast<std::size_t>(row)].playing;
        } else {
            untick_row(row);
        }
    }
    // Cameras whose recordings all lie after the position start together at the earliest.
    if (ticked && !any_playing && selected_count_ > 0) start_earliest();
}

bool Timeline::tick_row(int row) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    if (r.selected) return true;
    if (r.camera == 0 || r.segments.empty() || !hooks_.open_remote_pane(r.camera)) return false;
    r.selected = true;
    ++selected_count_;
    if (!position_camera(row, position_s_) && !all_box_ && selected_count_ == 1) start_earliest();
    return true;
}

void Timeline::untick_row(int row) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    if (!r.selected) return;
    hooks_.close_remote_pane(r.camera);
    r.selected = false;
    r.playing = false;
    --selected_count_;
}

void Timeline::clear_selection() {
    for (Row& r : rows_) {
        r.selected = false;
        r.playing = false;
    }
    selected_count_ = 0;
    all_box_ = false;
}

bool Timeline::close_camera(int camera) {
    for (int row = 0; row < kMaxDayIndexRows; ++row) {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        if (r.camera != 0 && r.camera == camera && r.selected) {
            untick_row(row);
            return true;
        }
    }
    return false;
}

void Timeline::set_current(Row& r, int index) {
    r.current = index;
    r.current_start_s =
        index == kNoSegment ? kNoPosition : r.segments[static_cast<std::size_t>(index)].start_s();
}

void Timeline::stop_row(Row& r) {
    if (!r.playing) return;
    hooks_.stop_remote_pane(r.camera);
    r.playing = false;
}

bool Timeline::play_segment(int row, int index, int offset_s) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    const RecordingSegment& s = r.segments[static_cast<std::size_t>(index)];
    r.playing = hooks_.play_remote_file(r.camera, remote_file_path(date_text_, r.camera, s),
                                        s.start_s(), offset_s);
    return r.playing;
}

bool Timeline::position_camera(int row, int t_s) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    set_current(r, kNoSegment);
    for (std::size_t i = 0; i < r.segments.size(); ++i) {
        const RecordingSegment& s = r.segments[i];
        if (s.end_s() <= t_s) continue;
        set_current(r, static_cast<int>(i));
        if (s.start_s() > t_s) {  // t lies in a gap: wait for this recording
            stop_row(r);
            return false;
        }
        return play_segment(row, static_cast<int>(i), t_s - s.start_s());
    }
    stop_row(r);  // after the day's last recording
    return false;
}

bool Timeline::seek_all(int t_s) {
    cursor_x_ = cursor_column(view_, t_s);
    bool any = false;
    for (int row = 0; row < kMaxDayIndexRows; ++row)
        if (rows_[static_cast<std::size_t>(row)].selected && position_camera(row, t_s)) any = true;
    return any;
}

void Timeline::start_earliest() {
    int earliest = kNoPosition;
    for (const Row& r : rows_)
        if (r.selected && r.current != kNoSegment) earliest = std::min(earliest, r.current_start_s);
    if (earliest == kNoPosition) return;
    for (int row = 0; row < kMaxDayIndexRows; ++row) {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        if (r.selected && r.current != kNoSegment && r.current_start_s == earliest)
            play_segment(row, r.current, 0);
    }
    cursor_x_ = cursor_column(view_, earliest);
}

Timeline::MouseResult Timeline::press(int x, int y) {
    if (hooks_.remote_recording_count() != 0) return MouseResult::refused_recording;
    follow_ = false;
    if (std::abs(x - cursor_x_) <= kCursorGrabPx && y < view_.header_height()) dragging_ = true;
    return MouseResult::done;
}

void Timeline::move(int x) {
    if (dragging_)
        cursor_x_ = std::clamp(x, kLeftColumnPx, std::max(kLeftColumnPx, view_.width - 1));
}

Timeline::MouseResult Timeline::release(int x) {
    dragging_ = false;
    if (hooks_.remote_recording_count() != 0) {
        follow_ = true;
        return MouseResult::refused_recording;
    }
    const int t = std::clamp(x_to_time(view_, x), 0, kDaySeconds - 1);
    position_s_ = t;
    if (!seek_all(t) && selected_count_ > 0) start_earliest();
    follow_ = true;
    return MouseResult::done;
}

void Timeline::right_click() {
    const int p = position_s_ == kNoPosition ? 0 : position_s_;
    view_.zoom_start_hour = std::min(p / 3600, kLastZoomStartHour);
    view_.zoomed = !view_.zoomed;
    cursor_x_ = cursor_column(view_, p);
}

void Timeline::scroll(ScrollCode code, int thumb_px) {
    view_.scroll_row = scrolled_row(view_, code, thumb_px);
}

void Timeline::tick() {
    if (position_s_ == kNoPosition) {
        position_s_ = 0;
        if (!seek_all(0)) start_earliest();
    }
    const int playing = hooks_.playing_time_s();
    if (playing >= 0 && playing < kDaySeconds) {
        position_s_ = playing;
        if (view_.zoomed && position_s_ >= view_.zoom_start_hour * 3600 + kZoomSeconds)
            view_.zoom_start_hour = std::min(position_s_ / 3600, kLastZoomStartHour);
        if (follow_) cursor_x_ = cursor_column(view_, position_s_);
    }
    // Cameras waiting in a gap start their next recording once the position reaches it.
    for (int row = 0; row < kMaxDayIndexRows; ++row) {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        if (r.selected && !r.playing && r.current != kNoSegment && r.current_start_s <= position_s_)
            play_segment(row, r.current, 0);
    }
}

void Timeline::reseek() {
    if (position_s_ == kNoPosition) return;
    dragging_ = false;
    if (!seek_all(position_s_) && selected_count_ > 0) start_earliest();
    follow_ = true;
}

bool Timeline::next_segment(int camera_index) {
    for (int row = 0; row < kMaxDayIndexRows; ++row) {
        Row& r = rows_[static_cast<std::size_t>(row)];
        if (r.camera == 0 || r.camera != camera_index + 1) continue;
        if (r.current == kNoSegment) return true;
        const int next = r.current + 1;
        if (next >= static_cast<int>(r.segments.size())) return false;
        // The row moves on with its stream, so the next end moves on again.
        set_current(r, next);
        play_segment(row, next, 0);
        return true;
    }
    return true;
}

}  // namespace orvel::media
