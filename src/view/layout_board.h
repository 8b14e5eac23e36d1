#pragma once
// The grid as the pane pipelines see it: published whole by the UI thread, read whole by any
// thread, so a pipeline never draws with half of an old layout and half of a new one.
#include <mutex>

namespace orvel::view {

struct GridLayout {
    int grid_side = 2;     // n x n panes
    int area_width = 808;  // video window client size
    int area_height = 657;
    int full_view_width = 808;  // the one-pane full view (the video area of the mode)
    int full_view_height = 657;
    int full_screen_width = 1024;  // the full-screen window
    int full_screen_height = 768;
};

class LayoutBoard {
public:
    // UI thread.
    void publish(const GridLayout& layout) {
        std::lock_guard lock(mutex_);
        layout_ = layout;
    }
    // Any thread.
    GridLayout read() const {
        std::lock_guard lock(mutex_);
        return layout_;
    }

private:
    mutable std::mutex mutex_;
    GridLayout layout_;
};

}  // namespace orvel::view
