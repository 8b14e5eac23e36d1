// The video area (static control 1168) and the video window inside it that holds all panes.
// The area is painted in the video background colour 0x010108; the video window draws the
// grid lines and the selection frame of the current layout. Pictures are drawn into it by
// the renderers.
#pragma once

#include <QWidget>

#include <functional>

namespace orvel::gui {

// What the video window needs to know to paint its grid.
struct VideoGridView {
    int grid_side = 2;            // n: n x n panes
    bool full_view = false;       // one pane enlarged: no grid lines
    int click_x = 1, click_y = 1;  // remembered click point (selection frame)
};

class VideoWindow : public QWidget {
public:
    explicit VideoWindow(QWidget* parent);
    // Thread: UI thread.
    void set_view_source(std::function<VideoGridView()> source) { source_ = std::move(source); }
    // Left-button presses and double clicks in client coordinates (the pane logic's input).
    void set_click_handler(std::function<void(int x, int y, bool double_click)> fn) {
        on_click_ = std::move(fn);
    }
    void set_context_handler(std::function<void(int x, int y, QPoint global)> fn) {
        on_context_ = std::move(fn);
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

private:
    std::function<VideoGridView()> source_;
    std::function<void(int, int, bool)> on_click_;
    std::function<void(int, int, QPoint)> on_context_;
};

class VideoArea : public QWidget {
public:
    explicit VideoArea(QWidget* parent);
    VideoWindow* video_window() const { return window_; }

private:
    VideoWindow* window_;
};

// The background colour of the video area and video window (red 8, green 1, blue 1).
inline constexpr QRgb kVideoBackground = 0x080101;

}  // namespace orvel::gui
