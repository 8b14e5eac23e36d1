#include "gui/render/gl_renderer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QThread>
#include <cstring>
#include <string>

#include "codec/picture_limits.h"
#include "gui/render/gl_pane_widget.h"
#include "platform/log.h"
#include "view/render/yuy2_convert.h"

namespace orvel::gui::render {

namespace {

// Failure texts by index, for failures met off the UI thread.
constexpr std::string_view kFailureTexts[] = {view::kCreateDeviceFailed, view::kCreateSurfaceFailed,
                                              view::kAddSwapchainError, view::kGetBackBufferFailed};

int failure_index(std::string_view text) {
    for (int i = 0; i < static_cast<int>(std::size(kFailureTexts)); ++i)
        if (kFailureTexts[i] == text) return i;
    return 0;
}

// Renderers that run on the processor (Mesa's llvmpipe, softpipe and swrast, and others that
// say so in their name).
bool is_software_rasteriser(const char* renderer) {
    if (renderer == nullptr) return false;
    const std::string name(renderer);
    for (const char* marker : {"llvmpipe", "softpipe", "swrast", "SwiftShader", "Software"})
        if (name.find(marker) != std::string::npos) return true;
    return false;
}

// Pixel rows are copied whole; an odd width loses its last column (a pair is two pixels).
int even_width(int width) { return width & ~1; }

// Converts YUY2 rows into BGRX rows (opaque), for a renderer whose buffers take BGRX.
void yuy2_rows_to_bgrx(const uint8_t* yuy2, int src_width, int width, int height, uint8_t* out) {
    for (int row = 0; row < height; ++row) {
        uint8_t* dst = out + static_cast<size_t>(row) * static_cast<size_t>(width) * 4;
        view::yuy2_to_bgrx_copy(
            yuy2 + static_cast<size_t>(row) * static_cast<size_t>(src_width) * 2, dst, width, 1);
        for (int x = 0; x < width; ++x) dst[x * 4 + 3] = 0xFF;
    }
}

}  // namespace

size_t GlRenderer::picture_bytes(int width, int height) const {
    return static_cast<size_t>(even_width(width)) * (bgrx_.load() ? 4 : 2) *
           static_cast<size_t>(height);
}

GlRenderer::GlRenderer(QWidget* video_window, platform::MessageBoxPort& boxes, QObject* parent)
    : QObject(parent), boxes_(boxes), video_window_(video_window) {
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        picture_width_[static_cast<size_t>(pane)] = view::kDefaultPictureWidth;
        picture_height_[static_cast<size_t>(pane)] = view::kDefaultPictureHeight;
    }
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_.start(10);
}

GlRenderer::~GlRenderer() {
    timer_.stop();
    renderer_release();
}

void GlRenderer::set_full_screen_window(QWidget* window) { full_screen_window_ = window; }

void GlRenderer::set_refresh_interval_ms(int interval_ms) {
    timer_.start(interval_ms > 0 ? interval_ms : 1);
}

QWidget* GlRenderer::widget() const { return widget_.data(); }

bool GlRenderer::on_ui_thread() const {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void GlRenderer::report_failure(std::string_view text) {
    // Boxes are modal: never open one inside a paint, and never make a worker wait on it.
    pending_failure_.store(failure_index(text));
}

void GlRenderer::refresh() {
    const int failure = pending_failure_.exchange(-1);
    if (failure >= 0 && !showing_failure_) {
        showing_failure_ = true;
        boxes_.show_message(kFailureTexts[failure], "");
        showing_failure_ = false;
    }
    if (notices_changed_.exchange(false) && widget_) {
        widget_->request_full_redraw();
        widget_->update();
        return;
    }
    if (widget_ && store_.take_any_fresh()) widget_->update();
}

bool GlRenderer::probe_device() {
    // Probe for a usable context first: the widget's own context is made only when it shows.
    // Platforms without windows of their own may still make contexts (the offscreen one
    // does when an X display is set) but cannot show a GL widget: a top-level window with
    // one crashes in its flush.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    QOpenGLContext probe;
    probe.setFormat(QSurfaceFormat::defaultFormat());
    QOffscreenSurface surface;
    surface.setFormat(probe.format());
    surface.create();
    if (!probe.create() || !surface.isValid() || !probe.makeCurrent(&surface)) return false;
    GLint max_texture = 0;
    GLint max_viewport[2] = {0, 0};
    QOpenGLFunctions* gl = probe.functions();
    gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
    gl->glGetIntegerv(GL_MAX_VIEWPORT_DIMS, max_viewport);
    max_texture_size_ = max_texture;
    const auto* renderer_name = reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER));
    software_rasteriser_ = is_software_rasteriser(renderer_name);
    bgrx_ = software_rasteriser_;
    if (software_rasteriser_) {
        // Every present recomposes the window on the processor: once per camera frame
        // period is enough, and far cheaper than once per 10 ms.
        ORVEL_LOG_WARN(
            "OpenGL: %s is a software rasteriser; pictures are converted before they are "
            "uploaded and presented at most every %d ms",
            renderer_name, kSoftwarePresentMs);
        timer_.start(kSoftwarePresentMs);
    } else {
        ORVEL_LOG_INFO("OpenGL: %s", renderer_name != nullptr ? renderer_name : "?");
    }
    max_viewport_side_ = std::min(max_viewport[0], max_viewport[1]);
    probe.doneCurrent();
    return max_texture >= 640 && max_viewport[0] > 0;
}

bool GlRenderer::renderer_create() {
    park_device();
    const int device = device_full_screen_.load() ? 1 : 0;
    QWidget* window = device == 1 ? full_screen_window_.data() : video_window_.data();
    // A widget kept from the last time this window was the device is shown again: its
    // context, shaders and textures are made already (making them costs a new top-level
    // window's composition on top, hundreds of milliseconds on a software rasteriser).
    QPointer<GlPaneWidget>& kept = kept_[static_cast<size_t>(device)];
    const bool reuse = kept && window != nullptr && kept->parentWidget() == window &&
                       !kept->init_failed() && max_texture_size_.load() > 0;
    if (!reuse) {
        delete kept.data();
        if (window == nullptr || !probe_device()) {
            max_texture_size_ = 0;
            boxes_.show_message(view::kCreateDeviceFailed, "");
            return false;
        }
    }
    {
        std::lock_guard lock(device_mutex_);
        widget_ = reuse ? kept.data() : new GlPaneWidget(*this, window);
        kept = widget_;
        widget_->forget_pictures();
        full_view_ = false;
        current_pane_ = 0;
        pane_count_ = 0;
    }
    // Showing may paint at once (the scene takes the device lock itself).
    widget_->show();
    widget_->raise();
    // The high-resolution set: one buffer each for 960 x 720 and 1280 x 720 pictures.
    if (!store_.reserve(kNarrowHighResSlot, picture_bytes(960, 720)) ||
        !store_.reserve(kWideHighResSlot, picture_bytes(1280, 720))) {
        boxes_.show_message(view::kCreateSurfaceFailed, "");
        return false;
    }
    ready_ = true;
    return true;
}

void GlRenderer::park_device() {
    ready_ = false;
    std::lock_guard lock(device_mutex_);
    if (widget_) widget_->hide();
    widget_ = nullptr;
    for (int slot = 0; slot < PaneStore::kSlots; ++slot) store_.release(slot);
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        surface_width_[static_cast<size_t>(pane)] = 0;
        surface_height_[static_cast<size_t>(pane)] = 0;
    }
    pane_count_ = 0;
    full_view_ = false;
    zoom_.reset();
}

void GlRenderer::renderer_release() {
    park_device();
    std::lock_guard lock(device_mutex_);
    for (QPointer<GlPaneWidget>& kept : kept_) {
        delete kept.data();
        kept = nullptr;
    }
    max_texture_size_ = 0;
}

bool GlRenderer::rect_fits(const platform::Rect& r) const {
    const int limit = max_viewport_side_.load();
    return r.width() >= 0 && r.height() >= 0 && r.width() <= limit && r.height() <= limit;
}

bool GlRenderer::prepare_pane_surface(int pane) {
    const size_t i = static_cast<size_t>(pane);
    const int width = picture_width_[i].load();
    const int height = picture_height_[i].load();
    const int max_texture = max_texture_size_.load();
    surface_width_[i] = 0;
    surface_height_[i] = 0;
    // The program's picture limit first, whatever the GL limits allow.
    if (max_texture <= 0 || width < 2 || !codec::picture_size_supported(width, height) ||
        even_width(width) / 2 > max_texture || height > max_texture)
        return false;
    if (!store_.reserve(pane, picture_bytes(width, height))) return false;
    surface_width_[i] = width;
    surface_height_[i] = height;
    return true;
}

bool GlRenderer::renderer_build_panes(int count, const platform::Rect* pane_rects) {
    if (!widget_ || count < 1 || count > view::kMaxRenderPanes || !pane_rects) {
        boxes_.show_message(view::kCreateSurfaceFailed, "");
        return false;
    }
    std::lock_guard lock(device_mutex_);
    pane_count_ = 0;
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        pane_rects_[static_cast<size_t>(pane)] = pane < count ? pane_rects[pane] : platform::Rect{};
        if (pane >= count) {
            store_.release(pane);
            surface_width_[static_cast<size_t>(pane)] = 0;
            surface_height_[static_cast<size_t>(pane)] = 0;
        }
    }
    widget_->forget_pictures();
    for (int pane = 0; pane < count; ++pane) {
        if (!prepare_pane_surface(pane)) {
            boxes_.show_message(view::kCreateSurfaceFailed, "");
            return false;
        }
        if (!rect_fits(pane_rects[pane])) {
            boxes_.show_message(view::kAddSwapchainError, "");
            return false;
        }
    }
    pane_count_ = count;
    widget_->update();
    return true;
}

void GlRenderer::set_selection_frame(const QRect& frame, QRgb rgb) {
    if (frame == selection_frame_ && rgb == selection_rgb_) return;
    selection_frame_ = frame;
    selection_rgb_ = rgb;
    // The old frame lies on pictures that are only redrawn when they change: redraw them all.
    if (widget_) {
        widget_->request_full_redraw();
        widget_->update();
    }
}

void GlRenderer::set_zoom(const view::DigitalZoom& zoom) {
    if (zoom == zoom_) return;
    zoom_ = zoom;
    if (widget_ && full_view_.load()) {
        widget_->request_full_redraw();
        widget_->update();
    }
}

void GlRenderer::set_pane_rec_fault(int pane, bool fault) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    rec_fault_[static_cast<size_t>(pane)].store(fault);
}

bool GlRenderer::pane_rec_fault(int pane) const {
    return pane >= 0 && pane < view::kMaxRenderPanes &&
           rec_fault_[static_cast<size_t>(pane)].load();
}

void GlRenderer::clear_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    set_pane_notice(pane, "");
    set_pane_rec_fault(pane, false);
    {
        std::lock_guard lock(device_mutex_);
        store_.clear(pane);
        if (widget_) widget_->forget_picture(pane);
    }
    if (widget_) widget_->update();
}

void GlRenderer::release_pane_surfaces() {
    std::lock_guard lock(device_mutex_);
    pane_count_ = 0;
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        store_.release(pane);
        surface_width_[static_cast<size_t>(pane)] = 0;
        surface_height_[static_cast<size_t>(pane)] = 0;
    }
    store_.clear(kNarrowHighResSlot);
    store_.clear(kWideHighResSlot);
    if (widget_) {
        // Cleared to transparent: whatever lies beneath (the software path) shows again.
        widget_->forget_pictures();
        widget_->update();
    }
}

bool GlRenderer::toggle_pane_full_view(int pane) {
    ready_ = false;
    bool ok = true;
    {
        std::lock_guard lock(device_mutex_);
        zoom_.reset();
        if (full_view_.load()) {
            full_view_ = false;
        } else if (pane >= 0 && pane < view::kMaxRenderPanes) {
            full_view_ = true;
            current_pane_ = pane;
        }
        if (widget_) {
            const platform::Rect whole{0, 0, widget_->width(), widget_->height()};
            const platform::Rect& target =
                full_view_.load() ? whole : pane_rects_[static_cast<size_t>(current_pane_.load())];
            ok = rect_fits(target);
            widget_->request_full_redraw();
            widget_->update();
        }
    }
    if (!ok) boxes_.show_message(view::kAddSwapchainError, "");
    // Drawing is ready again whatever happened.
    ready_ = widget_ != nullptr;
    return ok;
}

void GlRenderer::set_device_window(bool full_screen) { device_full_screen_ = full_screen; }

void GlRenderer::set_pane_picture_size(int width, int height, int pane) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    if (width <= 0 || height <= 0) {
        width = view::kDefaultPictureWidth;
        height = view::kDefaultPictureHeight;
    }
    picture_width_[static_cast<size_t>(pane)] = width;
    picture_height_[static_cast<size_t>(pane)] = height;
}

bool GlRenderer::create_pane_surface(int pane) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return false;
    if (prepare_pane_surface(pane)) return true;
    if (on_ui_thread())
        boxes_.show_message(view::kCreateSurfaceFailed, "");
    else
        report_failure(view::kCreateSurfaceFailed);
    return false;
}

void GlRenderer::use_narrow_high_res(bool narrow) { narrow_high_res_ = narrow; }

bool GlRenderer::pane_takes(int pane, int width, int height) const {
    if (!ready_.load(std::memory_order_acquire)) return false;
    if (pane < 0 || pane >= view::kMaxRenderPanes) return false;
    if (full_view_.load() && pane != current_pane_.load()) return false;
    const size_t i = static_cast<size_t>(pane);
    const int surface_width = surface_width_[i].load();
    // A picture size announced but not yet given a surface: the picture would not fit.
    return surface_width != 0 && surface_width == width && surface_height_[i].load() == height &&
           picture_width_[i].load() == width && picture_height_[i].load() == height;
}

void GlRenderer::draw_pane(const uint8_t* yuy2, int pane, std::string_view caption, bool rec,
                           view::ReceivedAtNs received_at) {
    if (!yuy2 || pane < 0 || pane >= view::kMaxRenderPanes) return;
    const size_t i = static_cast<size_t>(pane);
    const int width = surface_width_[i].load();
    const int height = surface_height_[i].load();
    if (!pane_takes(pane, width, height)) return;
    const size_t bytes = picture_bytes(width, height);
    uint8_t* dst = store_.begin_write(pane, bytes);
    if (!dst) return;
    if (bgrx_.load()) {
        yuy2_rows_to_bgrx(yuy2, width, even_width(width), height, dst);
    } else if (even_width(width) == width) {
        std::memcpy(dst, yuy2, bytes);
    } else {
        const size_t row_bytes = static_cast<size_t>(even_width(width)) * 2;
        const size_t src_stride = static_cast<size_t>(width) * 2;
        for (int row = 0; row < height; ++row)
            std::memcpy(dst + row_bytes * static_cast<size_t>(row),
                        yuy2 + src_stride * static_cast<size_t>(row), row_bytes);
    }
    commit_pane_picture(pane, caption, rec, received_at);
}

uint8_t* GlRenderer::begin_pane_picture(int pane, int width, int height) {
    // Rows are handed over whole: an odd width goes through draw_pane's row copy instead.
    if (width != even_width(width) || !pane_takes(pane, width, height)) return nullptr;
    return store_.begin_write(pane, picture_bytes(width, height));
}

void GlRenderer::commit_pane_picture(int pane, std::string_view caption, bool rec,
                                     view::ReceivedAtNs received_at) {
    const size_t i = static_cast<size_t>(pane);
    FrameInfo info;
    info.width = even_width(surface_width_[i].load());
    info.height = surface_height_[i].load();
    info.rec = rec;
    info.bgrx = bgrx_.load();
    info.received_at = received_at;
    info.set_caption(caption);
    store_.end_write(pane, info);
    // A picture replaces whatever the pane said before it.
    if (has_notice_[i].load(std::memory_order_relaxed)) set_pane_notice(pane, "");
}

void GlRenderer::abort_pane_picture(int pane) { store_.abort_write(pane); }

void GlRenderer::set_pane_notice(int pane, std::string_view text) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    const size_t i = static_cast<size_t>(pane);
    {
        std::lock_guard lock(notice_mutex_);
        if (notices_[i] == text) return;
        notices_[i].assign(text);
        has_notice_[i] = !text.empty();
    }
    if (!text.empty()) store_.clear(pane);
    notices_changed_ = true;
}

std::string GlRenderer::pane_notice(int pane) const {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return {};
    std::lock_guard lock(notice_mutex_);
    return notices_[static_cast<size_t>(pane)];
}

void GlRenderer::draw_high_res(const uint8_t* yuy2, int pane, int width, int height,
                               uint32_t packed_time, std::string_view caption,
                               view::ReceivedAtNs received_at) {
    narrow_high_res_ = width == 960;
    // Only the two sizes of the set exist; any other picture would overrun its surface.
    if ((width != 960 && width != 1280) || height != 720 || !yuy2) return;
    if (!ready_.load(std::memory_order_acquire) || !full_view_.load() ||
        pane != current_pane_.load())
        return;
    const int slot = width == 960 ? kNarrowHighResSlot : kWideHighResSlot;
    FrameInfo info;
    info.width = width;
    info.height = height;
    info.packed_time = packed_time;
    info.received_at = received_at;
    info.bgrx = bgrx_.load();
    info.set_caption(caption);
    if (!info.bgrx) {
        store_.write(slot, yuy2, picture_bytes(width, height), info);
        return;
    }
    uint8_t* dst = store_.begin_write(slot, picture_bytes(width, height));
    if (!dst) return;
    yuy2_rows_to_bgrx(yuy2, width, width, height, dst);
    store_.end_write(slot, info);
}

view::PaneFrameCounts GlRenderer::pane_counts(int pane) const {
    if (pane == view::kHighResStatsPane) {
        const view::PaneFrameCounts a = store_.counts(kNarrowHighResSlot);
        const view::PaneFrameCounts b = store_.counts(kWideHighResSlot);
        return {a.drawn + b.drawn, a.presented + b.presented, a.replaced + b.replaced};
    }
    if (pane < 0 || pane >= view::kMaxRenderPanes) return {};
    return store_.counts(pane);
}

view::LatencyHistogram GlRenderer::latency() const { return latency_.snapshot(); }

void GlRenderer::reset_stats() {
    store_.reset_counts();
    latency_.reset();
}

}  // namespace orvel::gui::render
