// The timeline of one searched day: one row per camera with its recordings, a check box per
// row and an "all" box, a position cursor that follows the playing panes and can be dragged,
// the whole-day and two-hour views. This is the window's whole behaviour without drawing:
// the Qt window forwards its events here and paints from the state. Remote panes are opened,
// moved and stopped through RemotePaneHooks.
//
// Thread: UI thread only (it owns no thread and takes no lock). The rows are a copy of the
// day index, taken by set_rows after each day-index reply.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/timeline/day_index.h"
#include "media/timeline/remote_pane_hooks.h"
#include "media/timeline/timeline_view.h"

namespace orvel::media {

inline constexpr int kNoPosition = 90000;  // no position yet
inline constexpr int kNoSegment = -1;
inline constexpr const char* kStopRecordingFirst = "Please stop recording first !";

// The DVR's path of a recording, for the 76-byte request:
// "<drive>:\dvr_media\video\<date>\camera NN\<date>-HH-MM-SS-NN.dvr".
std::string remote_file_path(std::string_view date_text, int camera,
                             const RecordingSegment& segment);

class Timeline {
public:
    // `date_text` is the searched day as the DVR names it ("yy-mm-dd", 8 characters kept).
    Timeline(RemotePaneHooks& hooks, int camera_count, std::string_view date_text);

    // Takes the rows of the day index (in its row order). Rows keep their selection; a
    // row's current segment is found again by its start time.
    void set_rows(const DayIndex& index);

    const TimelineView& view() const { return view_; }
    void resize(int width, int height);
    const std::string& date_text() const { return date_text_; }

    // Rows 0..35: camera (1-based, 0 for a free row) and its recordings.
    int row_camera(int row) const;
    const std::vector<RecordingSegment>& row_segments(int row) const;
    bool row_selected(int row) const;
    bool row_playing(int row) const;
    int row_current_segment(int row) const;  // index, or kNoSegment
    int selected_count() const { return selected_count_; }
    // Tick state of the "all" box and of visible row box k (0..3).
    bool all_box() const { return all_box_; }
    bool row_box(int k) const { return row_selected(view_.scroll_row + k); }

    // Check boxes. A ticked row box opens the camera's pane and positions it; the result
    // is the box's state afterwards (false: ticking was refused and the box is cleared).
    bool row_box_clicked(int k, bool ticked);
    void all_box_clicked(bool ticked);

    // Mouse on the axis. press: "Please stop recording first !" when a remote pane is being
    // saved (the result says so and nothing else happens); a press within 4 pixels of the
    // cursor inside the header band starts a drag. release positions every selected camera
    // at the released column, drag or plain click.
    enum class MouseResult { done, refused_recording };
    MouseResult press(int x, int y);
    void move(int x);
    MouseResult release(int x);
    void right_click();  // whole day <-> two-hour window around the position
    void scroll(ScrollCode code, int thumb_px = 0);

    // Timer 1 (every 1000 ms): first position, follow the playing panes, step cameras on.
    void tick();
    // Timer 2 of the main window: positions every selected camera at the position again.
    void reseek();
    // A remote pane of camera `camera_index` (0-based) finished its stream: its camera plays
    // its next recording. False when the camera has no next recording.
    bool next_segment(int camera_index);
    // Unselects every row (the panes were closed by the caller).
    void clear_selection();
    // The pane of `camera` (1-based) is being stopped from its own menu: its row is
    // unticked and its pane closed (through the hooks). False when no row is selected for it.
    bool close_camera(int camera);

    int position_s() const { return position_s_; }
    int cursor_x() const { return cursor_x_; }
    bool dragging() const { return dragging_; }
    bool following() const { return follow_; }

private:
    struct Row {
        int camera = 0;
        std::vector<RecordingSegment> segments;
        bool selected = false;
        bool playing = false;
        int current = kNoSegment;
        int current_start_s = kNoPosition;
    };

    bool tick_row(int row);
    void untick_row(int row);
    bool position_camera(int row, int t_s);
    bool seek_all(int t_s);
    void start_earliest();
    bool play_segment(int row, int index, int offset_s);
    void stop_row(Row& r);
    void set_current(Row& r, int index);

    RemotePaneHooks& hooks_;
    std::string date_text_;
    TimelineView view_;
    std::array<Row, kMaxDayIndexRows> rows_{};
    int selected_count_ = 0;
    bool all_box_ = false;
    int position_s_ = kNoPosition;
    int cursor_x_ = 50;
    bool dragging_ = false;
    bool follow_ = true;
};

}  // namespace orvel::media
