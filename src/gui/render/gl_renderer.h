#pragma once
// The GPU display path on OpenGL.
//
// Pane pipelines hand in YUY2 pictures (draw_pane, draw_high_res, or decoded straight into a
// pane buffer with begin/commit_pane_picture); each lands in its
// pane's own buffer and the pane is marked. A refresh timer on the UI thread repaints the GL
// widget when something is marked; the widget uploads only the marked panes into their
// textures, converts and scales them on the GPU into their rectangles, and draws the caption,
// "REC" and the main-stream time over them with QPainter in the same frame. The widget keeps
// its framebuffer between frames, so panes update independently.
//
// The widget covers the device window (the video window, or the full-screen window), lets
// mouse events through to it, and is transparent where no pane has a picture, so the window's
// own background, grid lines and selection frame show there.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "gui/render/pane_store.h"
#include "platform/ports/message_box.h"
#include "view/digital_zoom.h"
#include "view/render/renderer_port.h"

namespace orvel::gui::render {

class GlPaneWidget;

class GlRenderer final : public QObject, public view::GpuRenderer, public view::RenderStats {
public:
    // Buffer slots of the high-resolution set after the 36 pane slots.
    static constexpr int kNarrowHighResSlot = view::kMaxRenderPanes;    // 960 x 720
    static constexpr int kWideHighResSlot = view::kMaxRenderPanes + 1;  // 1280 x 720

    // Thread: UI thread. `video_window` is the window holding all panes; failures are shown
    // through `boxes` (owner-less, empty caption).
    GlRenderer(QWidget* video_window, platform::MessageBoxPort& boxes, QObject* parent = nullptr);
    ~GlRenderer() override;

    // Thread: UI thread. The full-screen window while it is open (used when the device window
    // is the full-screen one); nullptr when it closes.
    void set_full_screen_window(QWidget* window);
    // Thread: UI thread. Period of the refresh that presents marked panes (default 10 ms).
    void set_refresh_interval_ms(int interval_ms);
    // Thread: UI thread. Presents marked panes now (and shows a pending failure).
    void refresh();
    // Thread: UI thread. The GL widget (nullptr without a device); tests read it back.
    QWidget* widget() const;
    // Thread: UI thread. The selected pane's frame, drawn over the pictures in the colour
    // `rgb` (a null rectangle: none), so the selection shows on panes that have pictures.
    void set_selection_frame(const QRect& frame, QRgb rgb);
    // Thread: UI thread. The digital zoom of the pane full view (the enlarged picture is drawn
    // from its source rectangle); entering or leaving the full view resets it.
    void set_zoom(const view::DigitalZoom& zoom);
    // Thread: UI thread, after the pane's pipeline has stopped. Takes the pane's picture
    // off the screen (its pane was closed), so no stale picture stays behind.
    void clear_pane(int pane);
    // Present period when the GL driver is a software rasteriser (the camera frame period).
    static constexpr int kSoftwarePresentMs = 40;
    // Thread: UI thread, before renderer_build_panes. Chooses the upload form the device
    // chose by itself: BGRX pictures (on software rasterisers) or YUY2 (tests try both).
    void use_bgrx_pictures(bool bgrx) { bgrx_ = bgrx; }
    // Thread: UI thread. True when the device draws on the processor (logged when made).
    bool software_rasteriser() const { return software_rasteriser_; }
    // Thread: any. GL_MAX_TEXTURE_SIZE of the device (0 without one).
    int max_texture_size() const { return max_texture_size_.load(); }

    // view::GpuRenderer — threads as declared there.
    bool renderer_create() override;
    void renderer_release() override;
    bool renderer_build_panes(int count, const platform::Rect* pane_rects) override;
    void release_pane_surfaces() override;
    bool toggle_pane_full_view(int pane) override;
    bool pane_full_view() const override { return full_view_.load(); }
    int current_pane() const override { return current_pane_.load(); }
    void set_device_window(bool full_screen) override;
    void set_pane_picture_size(int width, int height, int pane) override;
    bool create_pane_surface(int pane) override;
    void use_narrow_high_res(bool narrow) override;
    void draw_pane(const uint8_t* yuy2, int pane, std::string_view caption, bool rec,
                   view::ReceivedAtNs received_at) override;
    void draw_high_res(const uint8_t* yuy2, int pane, int width, int height, uint32_t packed_time,
                       std::string_view caption, view::ReceivedAtNs received_at) override;
    bool takes_bgrx_pictures() const override { return bgrx_.load(); }
    uint8_t* begin_pane_picture(int pane, int width, int height) override;
    void commit_pane_picture(int pane, std::string_view caption, bool rec,
                             view::ReceivedAtNs received_at) override;
    void abort_pane_picture(int pane) override;
    void set_pane_notice(int pane, std::string_view text) override;
    void set_pane_rec_fault(int pane, bool fault) override;
    // Thread: any. True while the pane's "REC" shows a fault.
    bool pane_rec_fault(int pane) const;

    // Thread: UI thread. The notice shown in a pane ("" when none); tests read it back.
    std::string pane_notice(int pane) const;

    // view::RenderStats. Thread: any.
    view::PaneFrameCounts pane_counts(int pane) const override;
    view::LatencyHistogram latency() const override;
    void reset_stats() override;

private:
    friend class GlPaneWidget;

    // Thread: any. Shows `text` at once on the UI thread; from another thread it is kept and
    // shown by the next refresh, so the caller never waits for the operator.
    void report_failure(std::string_view text);
    bool on_ui_thread() const;
    // Thread: UI thread. Makes a probe context and reads the device's limits and kind.
    // False when no usable OpenGL context can be made here.
    bool probe_device();
    // Thread: UI thread. Lets go of the pane buffers and hides the current widget, keeping
    // it (and its context) for the next time its window is the device.
    void park_device();
    // Thread: any. Checks the pane's picture size against the limits and gives its slot
    // buffers of that size. False (nothing shown) on failure.
    bool prepare_pane_surface(int pane);
    bool rect_fits(const platform::Rect& r) const;
    // Thread: any. True when the pane's surface takes a picture of width x height now.
    bool pane_takes(int pane, int width, int height) const;

    platform::MessageBoxPort& boxes_;
    QPointer<QWidget> video_window_;
    QPointer<QWidget> full_screen_window_;
    QPointer<GlPaneWidget> widget_;  // the one drawing now (UI thread)
    // Widgets kept per device window (0: video window, 1: full-screen window), UI thread.
    std::array<QPointer<GlPaneWidget>, 2> kept_;
    QTimer timer_;
    PaneStore store_;
    LatencyRecorder latency_;
    std::mutex device_mutex_;  // held around every scene and every rebuild of its objects

    std::atomic<bool> ready_{false};
    std::atomic<bool> full_view_{false};
    std::atomic<int> current_pane_{0};
    std::atomic<bool> narrow_high_res_{true};
    std::atomic<bool> device_full_screen_{false};
    std::atomic<int> max_texture_size_{0};
    std::atomic<int> max_viewport_side_{0};
    std::atomic<int> pending_failure_{-1};  // index into the failure texts
    bool showing_failure_ = false;          // UI thread
    bool software_rasteriser_ = false;      // UI thread
    // Pane buffers hold BGRX pictures (set with the device, before any pane draws).
    std::atomic<bool> bgrx_{false};
    size_t picture_bytes(int width, int height) const;

    std::array<std::atomic<int>, view::kMaxRenderPanes> picture_width_{};
    std::array<std::atomic<int>, view::kMaxRenderPanes> picture_height_{};
    std::array<std::atomic<int>, view::kMaxRenderPanes> surface_width_{};
    std::array<std::atomic<int>, view::kMaxRenderPanes> surface_height_{};

    // Notices shown instead of pictures; written by any thread under notice_mutex_.
    mutable std::mutex notice_mutex_;
    std::array<std::string, view::kMaxRenderPanes> notices_;
    std::array<std::atomic<bool>, view::kMaxRenderPanes> has_notice_{};
    std::atomic<bool> notices_changed_{false};
    std::array<std::atomic<bool>, view::kMaxRenderPanes> rec_fault_{};  // any thread

    // UI thread only.
    std::array<platform::Rect, view::kMaxRenderPanes> pane_rects_{};
    int pane_count_ = 0;
    QRect selection_frame_;
    QRgb selection_rgb_ = 0;
    view::DigitalZoom zoom_;
};

}  // namespace orvel::gui::render
