// The live view on Qt: the renderer of the chosen display mode, the environment the display
// threads share, and the live panes. It is the pane side of the tree commands (play, stop,
// auto-play) and installs the renderer steps of the main window's shell.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/shell.h"
#include "gui/render/gl_renderer.h"
#include "gui/render/software_renderer.h"
#include "media/wall_clock.h"
#include "net/pane_hooks.h"
#include "pane/live_panes.h"
#include "pane/live_recordings.h"
#include "pane/pipelines.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/message_box.h"
#include "platform/ports/tree_control.h"
#include "view/app_state.h"
#include "view/digital_zoom.h"

namespace orvel::gui {

// Runs the pane pipelines' reports on the UI thread through the event loop. Calls still
// pending when it is destroyed are dropped with it.
class QtUiPost final : public QObject, public pane::UiPost {
public:
    // Thread: any.
    void post(std::function<void()> fn) override {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
    }
};

class LiveView final : public net::PaneHooks {
public:
    // What the live view needs of the rest of the program. All UI thread.
    struct Links {
        QWidget* video_window = nullptr;  // the window that holds every pane
        platform::MessageBoxPort* messages = nullptr;
        platform::MainControlsPort* controls = nullptr;
        platform::TreeControlPort* tree = nullptr;  // the selected item names the camera
        app::Shell* shell = nullptr;                // layout, full view and split changes
        // Sends a stream select for a dual-stream pane (to the pane's command connection).
        std::function<void(int pane, bool main_stream, int stream_port, uint32_t stream_id)>
            stream_select;
        // A pane whose first connection failed was closed again (its camera stops playing).
        std::function<void(int pane)> open_failed;
        // Recording disk and drive mapping of live recordings (null: panes only play).
        const platform::IniFile* ini = nullptr;
        const platform::DriveMap* drives = nullptr;
    };

    // Thread: UI thread. Nothing is created until install() runs.
    LiveView(view::AppState& state, Links links);
    // Closes every pane and waits for every thread of it before the renderers go.
    ~LiveView() override;
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // Installs the renderer steps into the shell's hooks (before its initialisation).
    // Thread: UI thread.
    void install(app::ShellHooks& hooks);
    // Closes every live pane (threads joined, sockets closed, decoders destroyed).
    // Thread: UI thread.
    void close_all();

    // A click in the video window (or the full-screen window) selects the pane under it.
    // Thread: UI thread.
    void on_video_click(int x, int y);
    // The full-screen window while it is open (nullptr when it closes): the software path
    // draws into it, and the GPU path is made on it when it is re-targeted. Thread: UI thread.
    void set_full_screen_window(QWidget* window);
    // The selection frame the video window paints (null: none), repeated over the pictures
    // of the GPU path. Thread: UI thread.
    void show_selection_frame(const QRect& frame, QRgb rgb);

    // Digital zoom of the enlarged pane, from the window it fills (width x height): wheel
    // notches about (x, y), and a drag by (dx, dy). Nothing happens while no pane is
    // enlarged. Thread: UI thread.
    void zoom_wheel(int steps, int x, int y, int width, int height);
    void zoom_drag(int dx, int dy, int width, int height);
    // Back to the whole picture (the full view began or ended). Thread: UI thread.
    void reset_zoom();
    const view::DigitalZoom& zoom() const { return zoom_; }
    // The software path (tests look at what it drew). Thread: UI thread.
    render::SoftwareRenderer* software_renderer() { return software_.get(); }

    // Takes a closed pane's picture off the screen (both paths). Thread: UI thread.
    void clear_pane_picture(int pane);

    // net::PaneHooks. Thread: UI thread.
    int open_live_pane(const net::LiveCameraTarget& target, bool record) override;
    void close_live_pane(int pane) override;
    bool pane_is_live(int pane) override;
    void leave_full_view() override;
    void set_split(int grid_side) override;
    int open_pane_count() override;
    void select_pane(int pane) override;

    // What the software path's pictures cover of the video window now (empty on the GPU
    // path, whose widget lies above the window). Thread: UI thread.
    QRegion pictures_region() const;
    // The renderer that draws now (null before install or when it could not be made).
    view::RenderStats* render_stats();
    // Writes the live view's running totals to `path` every second (benchmarks read it from
    // outside the process): frames the pipelines took, pictures drawn and presented, and the
    // receive-to-presentation latency histogram. Thread: UI thread.
    void write_statistics_every_second(const std::string& path);

    // Every live pane opened from now on records, as if opened with "paly &recode" (tests
    // and benchmarks of the real program). Thread: UI thread.
    void set_record_every_pane(bool on) { record_every_pane_ = on; }
    // The live recordings (null without a recording disk). Thread: UI thread.
    pane::LiveRecordings* recordings() { return recordings_.get(); }

    // The live panes and the threads they run on (tests and benchmarks look at them).
    pane::LivePanes& panes() { return *panes_; }
    pane::PanePipelines& pipelines() { return *pipelines_; }

private:
    void create_renderer();
    bool rebuild_panes(int pane_count);
    void recording_fault(int pane, media::RecordFault fault, const std::string& label);
    // The GPU path made anew on the window the panes are drawn in, and its targets built.
    bool make_gpu_targets();
    // Switch request and stream select of a dual-stream live pane (else nothing).
    void select_stream(int pane, bool main_stream);
    // Hands the zoom to both paths (the software path applies it to the enlarged pane).
    void apply_zoom();

    view::AppState& state_;
    Links links_;
    view::RendererState renderer_state_;
    // Destroyed in reverse order: the panes close, then the pipeline threads end, and only
    // then go the renderers they drew into.
    std::unique_ptr<render::GlRenderer> gpu_;
    std::unique_ptr<render::SoftwareRenderer> software_;
    QtUiPost ui_post_;
    media::SystemWallClock clock_;
    // Its writer thread posts to ui_post_, and it finishes the files of the panes closed
    // before it.
    std::unique_ptr<pane::LiveRecordings> recordings_;
    std::unique_ptr<pane::PanePipelines> pipelines_;
    std::unique_ptr<pane::LivePanes> panes_;
    std::array<bool, view::kMaxPanes> fault_shown_{};  // a fault episode was reported
    bool record_every_pane_ = false;
    std::array<platform::Rect, view::kMaxRenderPanes> rects_{};
    QWidget* full_screen_window_ = nullptr;
    view::DigitalZoom zoom_;
    std::unique_ptr<QTimer> statistics_timer_;
};

}  // namespace orvel::gui
