#pragma once
// The frame renderer as the pane pipelines and the layout code see it.
//
// Two implementations live in the Qt front end: the GPU path (OpenGL; the picture handed to
// it is packed YUY2, converted to RGB and scaled with linear filtering on the GPU) and the
// software path (the picture is 4-byte BGRX, already converted by the pane's pipeline, and is
// stretched without smoothing). Pipelines never wait for the screen: a draw call copies
// the picture into the pane's own buffer and marks the pane for presentation; the UI thread
// presents marked panes on its own refresh.
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/ports/main_controls.h"

namespace orvel::view {

inline constexpr int kMaxRenderPanes = 36;
inline constexpr int kDefaultPictureWidth = 352;
inline constexpr int kDefaultPictureHeight = 288;
inline constexpr int kEmptyPanePictureWidth = 1280;
inline constexpr int kEmptyPanePictureHeight = 720;

// Texts of renderer failures, shown in owner-less boxes with an empty caption.
inline constexpr std::string_view kCreateDeviceFailed = "create device failed";
inline constexpr std::string_view kSetPatternFailed = "set pattern failed";
inline constexpr std::string_view kCreateSurfaceFailed = "create surface failed";
inline constexpr std::string_view kAddSwapchainError = "add swapchain error!";
inline constexpr std::string_view kGetBackBufferFailed = "getbackbuffer failed";
inline constexpr std::string_view kStretchFailed = "DDD";

// Drawn in a pane in place of a picture: the first picture of the pane removes it.
inline constexpr std::string_view kPaneConnecting = "connecting";
inline constexpr std::string_view kPictureSizeNotSupported = "picture size not supported";

// Steady-clock time (ns) at which the last byte of a frame arrived; 0 when unknown.
// Renderers use it to measure receive-to-presentation latency.
using ReceivedAtNs = uint64_t;

// GPU path.
class GpuRenderer {
public:
    virtual ~GpuRenderer() = default;

    // --- UI thread, while every slot's drawing is disabled ---
    // Creates the device (GL context), the text drawing and the high-resolution set
    // (960 x 720 and 1280 x 720). False after showing "create device failed".
    virtual bool renderer_create() = 0;
    virtual void renderer_release() = 0;
    // Panes 0..count-1 get a picture buffer of their picture size and the given rectangle
    // in video-window client coordinates. False after showing the failure's text.
    virtual bool renderer_build_panes(int count, const platform::Rect* pane_rects) = 0;
    // Releases every pane's picture buffer and takes the pictures off the screen (switch to
    // the software path); the device and the high-resolution set stay. Panes draw nothing
    // until renderer_build_panes runs again.
    virtual void release_pane_surfaces() {}
    // Turns the pane full view on (pane fills the whole device window) or off. False after
    // showing "add swapchain error!" or "getbackbuffer failed"; drawing is ready again in
    // both cases.
    virtual bool toggle_pane_full_view(int pane) = 0;
    virtual bool pane_full_view() const = 0;
    virtual int current_pane() const = 0;
    // Device window: the video window (false) or the full-screen window (true).
    virtual void set_device_window(bool full_screen) = 0;

    // --- UI thread or a pane pipeline (stream header applied) ---
    // Stores the size of the pictures the pane receives; 0 in either gives 352 x 288.
    virtual void set_pane_picture_size(int width, int height, int pane) = 0;
    // Recreates the pane's picture buffer at its picture size. False after showing
    // "create surface failed" (from a worker thread the box does not block the caller).
    virtual bool create_pane_surface(int pane) = 0;
    // Chooses the 960-wide (sub stream 320 wide) or the 1280-wide high-resolution set.
    virtual void use_narrow_high_res(bool narrow) = 0;

    // --- Pane pipelines (one thread per pane at a time; any number of panes at once) ---
    // Presents one YUY2 picture of the pane's picture size with its caption (green, top
    // left) and, when `rec`, "REC" in red at the top right. Ignored while not ready, and in
    // the pane full view for any pane but the current one.
    virtual void draw_pane(const uint8_t* yuy2, int pane, std::string_view caption, bool rec,
                           ReceivedAtNs received_at) = 0;
    // Presents a main-stream picture (width 960 or 1280, height 720) in the pane full view of
    // this pane only, with the caption and the time "yy-mm-dd hh:mm:ss" (white, bottom right).
    virtual void draw_high_res(const uint8_t* yuy2, int pane, int width, int height,
                               uint32_t packed_time, std::string_view caption,
                               ReceivedAtNs received_at) = 0;

    // --- Pane pipelines: the picture is decoded straight into the renderer's buffer ---
    // True when pane buffers take BGRX pictures (4 bytes per pixel, converted by the
    // pipeline) instead of YUY2: on a driver that draws on the processor, the pipeline's
    // exact vector conversion is cheaper than converting every displayed pixel in a shader.
    // Any thread.
    virtual bool takes_bgrx_pictures() const { return false; }
    // A buffer of width x height YUY2 pixels (stride width * 2; BGRX, stride width * 4, when
    // takes_bgrx_pictures()) for the pane's next picture;
    // null when the pane cannot take one now (not ready, no surface of that size, or the full
    // view shows another pane). A non-null result is followed, on the same thread, by
    // commit_pane_picture (the picture is presented as draw_pane would) or
    // abort_pane_picture. One thread per pane at a time.
    virtual uint8_t* begin_pane_picture(int pane, int width, int height) {
        (void)pane, (void)width, (void)height;
        return nullptr;
    }
    virtual void commit_pane_picture(int pane, std::string_view caption, bool rec,
                                     ReceivedAtNs received_at) {
        (void)pane, (void)caption, (void)rec, (void)received_at;
    }
    virtual void abort_pane_picture(int pane) { (void)pane; }
    // Any thread. Shows `text` in the pane instead of a picture (an empty text removes it);
    // the pane's next picture removes it too.
    virtual void set_pane_notice(int pane, std::string_view text) { (void)pane, (void)text; }
    // Any thread. While set, the pane's "REC" reads "REC!" in amber: its recording has a
    // fault (the operator has been told which).
    virtual void set_pane_rec_fault(int pane, bool fault) { (void)pane, (void)fault; }
};

// Size in which the software path keeps a picture for a destination: a picture at least as
// large as its place on both sides is shrunk to the place (less to convert, copy and draw);
// a smaller one keeps its size and is stretched when drawn.
struct StoredSize {
    int width = 0;
    int height = 0;
};
inline StoredSize software_stored_size(int width, int height, const platform::Rect& dest) {
    if (dest.width() > 0 && dest.height() > 0 && dest.width() <= width && dest.height() <= height)
        return {dest.width(), dest.height()};
    return {width, height};
}

// Software path: one stretch of a BGRX picture into a destination rectangle.
class SoftwareBlitter {
public:
    virtual ~SoftwareBlitter() = default;
    // Pane pipelines. Stretches the width x height BGRX picture of `pane` (nearest
    // neighbour) into `dest` of the video window, or of the full-screen window when
    // `full_screen_target`; the picture stays there until the pane draws again or the panes
    // are cleared. With `rec_box` non-empty, "REC" is drawn right-aligned in red inside it.
    virtual void blit(int pane, const uint8_t* bgrx, int width, int height,
                      const platform::Rect& dest, bool full_screen_target,
                      const platform::Rect& rec_box, ReceivedAtNs received_at) = 0;
    // UI thread: forgets every pane's picture (layout change, mode switch); the video
    // window shows its background until panes draw again.
    virtual void clear_panes() = 0;

    // --- Pane pipelines: the picture is converted straight into the renderer's buffer ---
    // A buffer of stored.width x stored.height BGRX pixels (stride width * 4, filler byte
    // 0xFF) for the pane's next picture, `stored` being software_stored_size() of the picture
    // for `dest`; null when it cannot be had. A non-null result is followed, on the same
    // thread, by commit_blit or abort_blit. One thread per pane at a time.
    virtual uint8_t* begin_blit(int pane, StoredSize stored) {
        (void)pane, (void)stored;
        return nullptr;
    }
    // With `overlay_time` non-zero (a PackedDateTime) the date and time are drawn as text at
    // the bottom right of `dest`, over the picture: a zoomed picture carries no burnt-in stamp,
    // which the crop would cut off or enlarge.
    virtual void commit_blit(int pane, StoredSize stored, const platform::Rect& dest,
                             bool full_screen_target, const platform::Rect& rec_box,
                             ReceivedAtNs received_at, uint32_t overlay_time) {
        (void)pane, (void)stored, (void)dest, (void)full_screen_target, (void)rec_box,
            (void)received_at, (void)overlay_time;
    }
    virtual void abort_blit(int pane) { (void)pane; }
    // Any thread. Shows `text` in `dest` instead of the pane's picture (an empty text removes
    // it); the pane's next picture removes it too.
    virtual void set_pane_notice(int pane, std::string_view text, const platform::Rect& dest,
                                 bool full_screen_target) {
        (void)pane, (void)text, (void)dest, (void)full_screen_target;
    }
    // Any thread. As GpuRenderer::set_pane_rec_fault.
    virtual void set_pane_rec_fault(int pane, bool fault) { (void)pane, (void)fault; }
};

// The GPU path as the layout code sees it once it has been created: AppState::renderer points
// to one while the device exists, and is null in the software mode or after a failed create.
struct RendererState {
    GpuRenderer* gpu = nullptr;
};

// --- Presentation figures, kept by both renderers ---

// Receive-to-presentation latency in fixed buckets of kLatencyBucketUs; the last bucket also
// holds everything beyond the range.
inline constexpr int kLatencyBucketCount = 1024;
inline constexpr int kLatencyBucketUs = 500;

struct LatencyHistogram {
    std::array<uint64_t, kLatencyBucketCount> counts{};

    uint64_t total() const {
        uint64_t sum = 0;
        for (uint64_t c : counts) sum += c;
        return sum;
    }
    // Upper edge (microseconds) of the bucket holding the q-quantile, 0 < q <= 1; 0 when empty.
    int64_t quantile_us(double q) const {
        const uint64_t n = total();
        if (n == 0) return 0;
        double wanted = q * static_cast<double>(n);
        if (wanted < 1.0) wanted = 1.0;
        uint64_t seen = 0;
        for (int i = 0; i < kLatencyBucketCount; ++i) {
            seen += counts[static_cast<size_t>(i)];
            if (static_cast<double>(seen) >= wanted) return int64_t{i + 1} * kLatencyBucketUs;
        }
        return int64_t{kLatencyBucketCount} * kLatencyBucketUs;
    }
};

struct PaneFrameCounts {
    uint64_t drawn = 0;      // pictures accepted from pane pipelines
    uint64_t presented = 0;  // pictures that reached the screen
    uint64_t replaced = 0;   // pictures overwritten by a newer one before they were shown
};

// Figures for benchmarks and diagnostics. Pane numbers 0..kMaxRenderPanes-1 count the pane
// pictures; the GPU path also counts its main-stream pictures under kHighResStatsPane.
inline constexpr int kHighResStatsPane = kMaxRenderPanes;

class RenderStats {
public:
    virtual ~RenderStats() = default;
    // Any thread.
    virtual PaneFrameCounts pane_counts(int pane) const = 0;
    // Any thread. Latency of every presented picture that carried a receive time.
    virtual LatencyHistogram latency() const = 0;
    // Any thread. Sets every count and the histogram back to zero.
    virtual void reset_stats() = 0;
};

}  // namespace orvel::view
