#pragma once
// The software display path on Qt.
//
// Pane pipelines hand in BGRX pictures (blit, or converted straight into the pane's buffer with
// begin/commit_blit); each lands in its pane's own buffer and
// the pane is marked. A refresh timer on the UI thread takes the marked panes and repaints only
// their rectangles on a transparent overlay above the target window (the video window, or the
// full-screen window while it is open), where the pictures are stretched without smoothing. The
// overlay lets mouse events through and leaves the window's own painting (background, grid
// lines, selection frame) visible wherever no picture lies.
//
// A picture stays until its pane draws again, another pane's picture covers it (the pane full
// view), or the panes are cleared.
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "gui/render/pane_store.h"
#include "view/digital_zoom.h"
#include "view/render/renderer_port.h"

namespace orvel::gui::render {

class SoftwareRenderer;

// The overlay that shows the pictures of one target window.
class SoftwareSurface : public QWidget {
public:
    // Thread: UI thread. Covers `target` and follows its size.
    SoftwareSurface(SoftwareRenderer& renderer, QWidget* target, bool full_screen);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SoftwareRenderer& renderer_;
    bool full_screen_;
};

class SoftwareRenderer final : public QObject,
                               public view::SoftwareBlitter,
                               public view::RenderStats {
public:
    // Thread: UI thread. `video_window` is the window holding all panes.
    explicit SoftwareRenderer(QWidget* video_window, QObject* parent = nullptr);
    ~SoftwareRenderer() override;

    // Thread: UI thread. The full-screen window while it is open; nullptr when it closes.
    void set_full_screen_window(QWidget* window);
    // Thread: UI thread. Period of the refresh that presents marked panes (default 10 ms).
    void set_refresh_interval_ms(int interval_ms);
    // Thread: UI thread. Takes marked panes and schedules their repaint at once.
    void refresh();
    // Thread: UI thread. What the pictures on the video window cover completely now.
    QRegion covered_region() const;
    // Thread: UI thread. The notice a pane shows as of the last refresh ("" when none).
    std::string pane_notice(int pane) const;
    // Thread: UI thread. The digital zoom of the enlarged pane (pane -1: none): its picture is
    // drawn from the zoom's source rectangle instead of whole.
    void set_zoom(int pane, const view::DigitalZoom& zoom);
    // Thread: UI thread. The part of its picture the pane was last drawn from (pixels).
    view::SourceRect drawn_source(int pane) const;
    // Thread: UI thread. The overlay of the video window (tests grab it).
    QWidget* video_surface() const { return video_surface_; }

    // view::SoftwareBlitter. Thread: pane pipelines (any worker, one per pane at a time).
    void blit(int pane, const uint8_t* bgrx, int width, int height, const platform::Rect& dest,
              bool full_screen_target, const platform::Rect& rec_box,
              view::ReceivedAtNs received_at) override;
    uint8_t* begin_blit(int pane, view::StoredSize stored) override;
    void commit_blit(int pane, view::StoredSize stored, const platform::Rect& dest,
                     bool full_screen_target, const platform::Rect& rec_box,
                     view::ReceivedAtNs received_at, uint32_t overlay_time) override;
    void abort_blit(int pane) override;
    // Thread: any.
    void set_pane_notice(int pane, std::string_view text, const platform::Rect& dest,
                         bool full_screen_target) override;
    // Thread: UI thread.
    void clear_panes() override;
    // Thread: UI thread, after the pane's pipeline has stopped. Takes the pane's picture
    // off the screen (its pane was closed).
    void clear_pane(int pane);
    void set_pane_rec_fault(int pane, bool fault) override;

    // view::RenderStats. Thread: any.
    view::PaneFrameCounts pane_counts(int pane) const override;
    view::LatencyHistogram latency() const override;
    void reset_stats() override;

private:
    friend class SoftwareSurface;
    // UI thread: paints every shown pane of one target inside `area`.
    void paint_target(QWidget& surface, bool full_screen, const QRect& area);
    SoftwareSurface* surface_for(bool full_screen) const;
    void repaint_pane_area(int pane);

    struct Shown {
        bool visible = false;
        bool counted = true;  // latency and presentation already recorded
        FrameInfo info;
        QString notice;  // shown instead of a picture while not empty
        platform::Rect notice_dest{};
        bool notice_full_screen = false;
        view::SourceRect source;  // drawn from this part of the picture
        // Images over the slot's picture buffers, made once per buffer and size: a QImage
        // made per paint allocates its header every time.
        std::array<QImage, 3> images;
        int next_image = 0;
    };
    // UI thread. The cached image over `pixels` (made when none matches).
    const QImage& image_over(Shown& s, const uint8_t* pixels, int width, int height);
    struct Notice {
        std::string text;
        platform::Rect dest{};
        bool full_screen_target = false;
        bool changed = false;
    };
    void take_notices();

    PaneStore store_;
    LatencyRecorder latency_;
    QTimer timer_;
    QPointer<SoftwareSurface> video_surface_;
    QPointer<SoftwareSurface> full_surface_;
    std::array<Shown, view::kMaxRenderPanes> shown_{};  // UI thread only
    // Notices handed in by any thread, taken by the UI thread's refresh.
    std::mutex notice_mutex_;
    std::array<Notice, view::kMaxRenderPanes> notices_;
    std::array<std::atomic<bool>, view::kMaxRenderPanes> has_notice_{};
    std::atomic<bool> notices_changed_{false};
    int zoom_pane_ = -1;  // UI thread
    view::DigitalZoom zoom_;
    QString rec_text_;
    QString rec_fault_text_;
    std::array<std::atomic<bool>, view::kMaxRenderPanes> rec_fault_{};  // any thread
};

}  // namespace orvel::gui::render
