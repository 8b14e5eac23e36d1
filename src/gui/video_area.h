// The video area (static control 1168) and the video window inside it that holds all panes.
// The area is painted in the video background colour 0x010108; the video window draws the
// grid lines and the selection frame of the current layout. Pictures are drawn into it by
// the renderers.
#pragma once

#include <QRegion>
#include <QWidget>
#include <functional>

namespace orvel::gui {

// What the video window needs to know to paint its grid.
struct VideoGridView {
    int grid_side = 2;             // n: n x n panes
    bool full_view = false;        // one pane enlarged: no grid lines
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
    // Mouse wheel notches at a point (positive: away from the operator) and drags with the
    // left button (the move since the last event), for the enlarged pane's digital zoom.
    void set_wheel_handler(std::function<void(int x, int y, int steps)> fn) {
        on_wheel_ = std::move(fn);
    }
    void set_drag_handler(std::function<void(int dx, int dy)> fn) { on_drag_ = std::move(fn); }
    // Told the selection frame (window coordinates; a null rectangle: none) each time the
    // window paints, so a renderer drawing over the panes can draw it too. Thread: UI thread.
    void set_selection_listener(std::function<void(const QRect&)> fn) {
        on_selection_ = std::move(fn);
    }
    // The part of the window that pictures drawn over it cover completely right now; the
    // window does not paint there (the pictures are repainted many times a second). Thread:
    // UI thread.
    void set_covered_source(std::function<QRegion()> source) { covered_ = std::move(source); }
    // The selection frame of a view on a w x h window (null: none). Thread: any.
    static QRect selection_frame(const VideoGridView& view, int w, int h);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;

private:
    std::function<void(int, int, int)> on_wheel_;
    std::function<void(int, int)> on_drag_;
    QPoint drag_from_;
    int wheel_rest_ = 0;  // eighths of a degree short of a whole notch (fine-grained wheels)
    std::function<VideoGridView()> source_;
    std::function<void(int, int, bool)> on_click_;
    std::function<void(int, int, QPoint)> on_context_;
    std::function<void(const QRect&)> on_selection_;
    std::function<QRegion()> covered_;
};

// The borderless full-screen window (`FULLVIEW`): a top-level video window over a screen,
// kept above the other windows, that holds every pane while it is open. Escape leaves it.
class FullScreenWindow : public VideoWindow {
public:
    FullScreenWindow();
    // Thread: UI thread.
    void set_escape_handler(std::function<void()> fn) { on_escape_ = std::move(fn); }

protected:
    void keyPressEvent(QKeyEvent*) override;

private:
    std::function<void()> on_escape_;
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
// The selected pane's frame (also drawn by the GPU path over its pictures).
inline constexpr QRgb kSelectionFrameColour = 0xC8643C;

}  // namespace orvel::gui
