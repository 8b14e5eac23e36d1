#pragma once
// The main window and its controls, addressed by control id.

#include <string_view>

namespace orvel::platform {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

class MainControlsPort {
public:
    virtual ~MainControlsPort() = default;

    // Unless said otherwise: thread: UI thread, or a worker thread — the Qt adapter
    // carries a worker's call over to the UI thread and waits for it.

    // Shows bitmap `bitmap_id` as the face of a button or static control (e.g. 1026).
    virtual void set_face(int control_id, int bitmap_id) = 0;
    virtual void set_enabled(int control_id, bool enabled) = 0;
    virtual void set_visible(int control_id, bool visible) = 0;
    virtual void set_text(int control_id, std::string_view text) = 0;

    // Slider (seek slider 1062).
    virtual void set_slider_range(int control_id, int min_value, int max_value) = 0;
    virtual void set_slider_position(int control_id, int position) = 0;
    virtual int slider_position(int control_id) const = 0;

    // Combo box (speed box 1065): selected index, -1 when none.
    virtual int combo_selection(int control_id) const = 0;

    // Window rectangle of a control in main-window client coordinates.
    virtual Rect control_rect(int control_id) const = 0;

    // The video window (all panes): repaint part of it (erasing the background).
    virtual void invalidate_video(const Rect& area) = 0;
    // Resizes the video window to width x height at (0, 0) inside the video area and shows it.
    virtual void place_video_window(int width, int height) = 0;

    // Thread: UI thread only.
    virtual void minimise_window() = 0;
    // Thread: UI thread only. Ends the message loop with `exit_code`.
    virtual void post_quit(int exit_code) = 0;
};

}  // namespace orvel::platform
