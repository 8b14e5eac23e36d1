// The main window's controls port on the Qt window. A worker's call is carried over to the
// UI thread and waits for it.
#pragma once

#include <functional>

#include "gui/main_window.h"
#include "gui/ui_invoker.h"
#include "platform/ports/main_controls.h"

namespace orvel::gui {

class QtMainControls final : public platform::MainControlsPort {
public:
    // Thread: UI thread. `window` and `invoker` outlive the adapter.
    QtMainControls(MainWindow& window, UiInvoker& invoker) : window_(window), invoker_(invoker) {}

    // Called by post_quit (the application ends its event loop there). Thread: UI thread.
    void set_quit_handler(std::function<void(int)> fn) { quit_ = std::move(fn); }

    void set_face(int control_id, int bitmap_id) override;
    void set_enabled(int control_id, bool enabled) override;
    void set_visible(int control_id, bool visible) override;
    void set_text(int control_id, std::string_view text) override;
    void set_slider_range(int control_id, int min_value, int max_value) override;
    void set_slider_position(int control_id, int position) override;
    int slider_position(int control_id) const override;
    int combo_selection(int control_id) const override;
    platform::Rect control_rect(int control_id) const override;
    void invalidate_video(const platform::Rect& area) override;
    void place_video_window(int width, int height) override;
    void minimise_window() override;
    void post_quit(int exit_code) override;

private:
    MainWindow& window_;
    UiInvoker& invoker_;
    std::function<void(int)> quit_;
};

}  // namespace orvel::gui
