// The timeline window (`SCROLLPLAY`): a strip below the video area with one row per camera,
// its recordings as blue and red bars on a time axis, a check box per visible row and an
// "all" box, the green position cursor, and a vertical scroll bar past four cameras. All
// behaviour is media::Timeline's; this window draws its state and forwards events.
#pragma once

#include <QCheckBox>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <array>
#include <string>

#include "media/timeline/timeline.h"
#include "platform/ports/message_box.h"
#include "view/screen_mode.h"

namespace orvel::gui {

class TimelineWindow : public QWidget {
public:
    static constexpr int kTickMs = 1000;  // timer 1

    // Created shown and raised at its place for the screen mode. Thread: UI thread (all).
    TimelineWindow(QWidget* parent, const view::ScreenMode& screen, media::RemotePaneHooks& panes,
                   platform::MessageBoxPort& messages, int camera_count,
                   const std::string& date_text);

    media::Timeline& timeline() { return timeline_; }
    // New day indexes: rows and boxes follow, and the window repaints.
    void set_rows(const media::DayIndex& index);
    // A remote pane of camera index `camera` (0-based) ended its stream.
    bool next_segment(int camera);
    // Unticks every box (the remote panes were closed).
    void clear_selection();
    // The pane menu's "stop" on the remote pane of `camera` (1-based): its box is cleared
    // and its pane closed. False when no ticked row shows that camera.
    bool close_camera(int camera);

    QCheckBox* all_box() const { return all_; }
    QCheckBox* row_box(int k) const { return rows_[static_cast<std::size_t>(k)]; }
    QScrollBar* scroll_bar() const { return bar_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void place_children();
    void sync_boxes();
    void row_clicked(int k, bool ticked);
    void refused();

    platform::MessageBoxPort& messages_;
    media::Timeline timeline_;
    QCheckBox* all_ = nullptr;
    std::array<QCheckBox*, media::kVisibleRows> rows_{};
    QScrollBar* bar_ = nullptr;
    QTimer tick_;
    bool left_down_ = false;
};

}  // namespace orvel::gui
