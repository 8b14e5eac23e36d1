#include "gui/render/software_renderer.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "codec/picture_limits.h"
#include "view/render/stamp.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvel::gui::render {

namespace {

QRect to_qrect(const platform::Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

constexpr int kBandRows = 64;
// Space between the time drawn over a zoomed picture and the pane's right and bottom edges.
constexpr int kOverlayMarginPx = 4;

bool is_empty(const platform::Rect& r) { return r.width() <= 0 || r.height() <= 0; }

// Copies BGRX pixels and sets the filler byte, so the buffer is a valid opaque 0xffRRGGBB
// image for every Qt drawing path: four pixels per step, so it costs what a plain copy does.
void copy_opaque(const uint8_t* src, uint8_t* dst, size_t pixels) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= pixels; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_or_si128(v, opaque));
    }
#endif
    for (; i < pixels; ++i) {
        uint32_t v;
        std::memcpy(&v, src + i * 4, 4);
        v |= 0xFF000000u;
        std::memcpy(dst + i * 4, &v, 4);
    }
}

// Nearest-neighbour shrink of a BGRX picture into `dst` (dst_width x dst_height, both no larger
// than the source), filler byte set as in copy_opaque. Destination column x shows source column
// x * src_width / dst_width (rounded down), and likewise for rows; the quotients are stepped
// exactly, without a division per pixel.
void shrink_opaque(const uint8_t* src, int src_width, int src_height, uint8_t* dst, int dst_width,
                   int dst_height) {
    const int x_step = src_width / dst_width, x_extra = src_width % dst_width;
    const int y_step = src_height / dst_height, y_extra = src_height % dst_height;
    int sy = 0, y_rest = 0;
    for (int y = 0; y < dst_height; ++y) {
        const uint8_t* src_row = src + static_cast<size_t>(sy) * static_cast<size_t>(src_width) * 4;
        uint32_t* out = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * dst_width * 4);
        int sx = 0, x_rest = 0;
        for (int x = 0; x < dst_width; ++x) {
            uint32_t v;
            std::memcpy(&v, src_row + static_cast<size_t>(sx) * 4, 4);
            out[x] = v | 0xFF000000u;
            sx += x_step;
            x_rest += x_extra;
            if (x_rest >= dst_width) {
                x_rest -= dst_width;
                ++sx;
            }
        }
        sy += y_step;
        y_rest += y_extra;
        if (y_rest >= dst_height) {
            y_rest -= dst_height;
            ++sy;
        }
    }
}

}  // namespace

SoftwareSurface::SoftwareSurface(SoftwareRenderer& renderer, QWidget* target, bool full_screen)
    : QWidget(target), renderer_(renderer), full_screen_(full_screen) {
    setObjectName(QStringLiteral("software_surface"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(target->rect());
    target->installEventFilter(this);
    show();
    raise();
}

void SoftwareSurface::paintEvent(QPaintEvent* event) {
    renderer_.paint_target(*this, full_screen_, event->rect());
}

bool SoftwareSurface::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(static_cast<QWidget*>(watched)->rect());
    return QWidget::eventFilter(watched, event);
}

SoftwareRenderer::SoftwareRenderer(QWidget* video_window, QObject* parent)
    : QObject(parent), rec_text_(QStringLiteral("REC")), rec_fault_text_(QStringLiteral("REC!")) {
    if (video_window) video_surface_ = new SoftwareSurface(*this, video_window, false);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_.start(10);
}

SoftwareRenderer::~SoftwareRenderer() {
    timer_.stop();
    delete video_surface_.data();
    delete full_surface_.data();
}

void SoftwareRenderer::set_full_screen_window(QWidget* window) {
    delete full_surface_.data();
    full_surface_ = window ? new SoftwareSurface(*this, window, true) : nullptr;
}

void SoftwareRenderer::set_refresh_interval_ms(int interval_ms) {
    timer_.start(interval_ms > 0 ? interval_ms : 1);
}

SoftwareSurface* SoftwareRenderer::surface_for(bool full_screen) const {
    return full_screen ? full_surface_.data() : video_surface_.data();
}

void SoftwareRenderer::blit(int pane, const uint8_t* bgrx, int width, int height,
                            const platform::Rect& dest, bool full_screen_target,
                            const platform::Rect& rec_box, view::ReceivedAtNs received_at) {
    if (pane < 0 || pane >= view::kMaxRenderPanes || !bgrx) return;
    // Pictures beyond the program's limit are dropped.
    if (!codec::picture_size_supported(width, height)) return;
    if (is_empty(dest)) return;
    // A picture larger than its place (the panes of a big grid) is shrunk here, on the display
    // thread: less to copy, and the UI thread then draws it unscaled. A smaller one is copied
    // and stretched when it is drawn.
    const bool shrink = dest.width() <= width && dest.height() <= height;
    const int stored_width = shrink ? dest.width() : width;
    const int stored_height = shrink ? dest.height() : height;
    const size_t pixels = static_cast<size_t>(stored_width) * static_cast<size_t>(stored_height);
    const size_t bytes = pixels * 4;
    // Buffers follow the stored size; they change only when that size does.
    if (store_.buffer_bytes(pane) != bytes && !store_.reserve(pane, bytes)) return;
    uint8_t* dst = store_.begin_write(pane, bytes);
    if (!dst) return;
    if (shrink)
        shrink_opaque(bgrx, width, height, dst, stored_width, stored_height);
    else
        copy_opaque(bgrx, dst, pixels);
    FrameInfo info;
    info.width = stored_width;
    info.height = stored_height;
    info.dest = dest;
    info.rec_box = rec_box;
    info.full_screen_target = full_screen_target;
    info.rec = !is_empty(rec_box);
    info.received_at = received_at;
    store_.end_write(pane, info);
}

uint8_t* SoftwareRenderer::begin_blit(int pane, view::StoredSize stored) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return nullptr;
    if (!codec::picture_size_supported(stored.width, stored.height)) return nullptr;
    const size_t bytes = static_cast<size_t>(stored.width) * static_cast<size_t>(stored.height) * 4;
    // Buffers follow the stored size; they change only when that size does.
    if (store_.buffer_bytes(pane) != bytes && !store_.reserve(pane, bytes)) return nullptr;
    return store_.begin_write(pane, bytes);
}

void SoftwareRenderer::commit_blit(int pane, view::StoredSize stored, const platform::Rect& dest,
                                   bool full_screen_target, const platform::Rect& rec_box,
                                   view::ReceivedAtNs received_at, uint32_t overlay_time) {
    FrameInfo info;
    info.width = stored.width;
    info.height = stored.height;
    info.dest = dest;
    info.rec_box = rec_box;
    info.full_screen_target = full_screen_target;
    info.rec = !is_empty(rec_box);
    info.received_at = received_at;
    info.packed_time = overlay_time;
    store_.end_write(pane, info);
    // A picture replaces whatever the pane said before it.
    if (has_notice_[static_cast<size_t>(pane)].load(std::memory_order_relaxed))
        set_pane_notice(pane, "", dest, full_screen_target);
}

void SoftwareRenderer::abort_blit(int pane) { store_.abort_write(pane); }

void SoftwareRenderer::set_pane_notice(int pane, std::string_view text, const platform::Rect& dest,
                                       bool full_screen_target) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    const size_t i = static_cast<size_t>(pane);
    {
        std::lock_guard lock(notice_mutex_);
        Notice& n = notices_[i];
        if (n.text == text && n.dest == dest && n.full_screen_target == full_screen_target) return;
        n.text.assign(text);
        n.dest = dest;
        n.full_screen_target = full_screen_target;
        n.changed = true;
        has_notice_[i] = !text.empty();
    }
    notices_changed_ = true;
}

QRegion SoftwareRenderer::covered_region() const {
    QRegion covered;
    for (const Shown& s : shown_)
        if (s.visible && !s.info.full_screen_target) covered += to_qrect(s.info.dest);
    return covered;
}

std::string SoftwareRenderer::pane_notice(int pane) const {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return {};
    return shown_[static_cast<size_t>(pane)].notice.toStdString();
}

void SoftwareRenderer::take_notices() {
    std::lock_guard lock(notice_mutex_);
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        Notice& n = notices_[static_cast<size_t>(pane)];
        if (!n.changed) continue;
        n.changed = false;
        Shown& s = shown_[static_cast<size_t>(pane)];
        if (SoftwareSurface* surface = surface_for(s.notice_full_screen))
            if (!s.notice.isEmpty()) surface->update(to_qrect(s.notice_dest));
        s.notice = QString::fromStdString(n.text);
        s.notice_dest = n.dest;
        s.notice_full_screen = n.full_screen_target;
        if (!s.notice.isEmpty()) {
            // The notice takes the picture's place.
            if (s.visible) repaint_pane_area(pane);
            s.visible = false;
            store_.clear(pane);
            if (SoftwareSurface* surface = surface_for(s.notice_full_screen))
                surface->update(to_qrect(s.notice_dest));
        }
    }
}

void SoftwareRenderer::repaint_pane_area(int pane) {
    const Shown& s = shown_[static_cast<size_t>(pane)];
    if (SoftwareSurface* surface = surface_for(s.info.full_screen_target))
        surface->update(to_qrect(s.info.dest).united(to_qrect(s.info.rec_box)));
}

void SoftwareRenderer::refresh() {
    if (notices_changed_.exchange(false)) take_notices();
    if (!store_.take_any_fresh()) return;
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        FrameInfo info;
        if (!store_.take_fresh(pane, &info)) continue;
        Shown& s = shown_[static_cast<size_t>(pane)];
        // The area the old picture covered goes back to the window (it moved or shrank); a
        // picture in the same place needs one update only (each costs Qt region work).
        if (s.visible && (s.info.dest != info.dest || s.info.rec_box != info.rec_box ||
                          s.info.full_screen_target != info.full_screen_target))
            repaint_pane_area(pane);
        s.visible = true;
        s.counted = false;
        s.info = info;
        repaint_pane_area(pane);
        // A picture drawn over other panes (the full view) replaces them, as on a screen.
        const QRect area = to_qrect(info.dest);
        for (int other = 0; other < view::kMaxRenderPanes; ++other) {
            Shown& o = shown_[static_cast<size_t>(other)];
            if (other == pane || !o.visible) continue;
            if (o.info.full_screen_target != info.full_screen_target) continue;
            if (!to_qrect(o.info.dest).intersects(area)) continue;
            o.visible = false;
            repaint_pane_area(other);
        }
    }
}

const QImage& SoftwareRenderer::image_over(Shown& s, const uint8_t* pixels, int width, int height) {
    for (const QImage& image : s.images)
        if (image.constBits() == pixels && image.width() == width && image.height() == height)
            return image;
    // A slot has three buffers; a new size or new buffers replace the oldest images.
    QImage& image = s.images[static_cast<size_t>(s.next_image)];
    s.next_image = (s.next_image + 1) % static_cast<int>(s.images.size());
    image = QImage(pixels, width, height, width * 4, QImage::Format_RGB32);
    return image;
}

void SoftwareRenderer::paint_target(QWidget& surface, bool full_screen, const QRect& area) {
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(16);
    painter.setFont(font);
    const uint64_t now_ns = steady_now_ns();
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
        Shown& s = shown_[static_cast<size_t>(pane)];
        if (!s.notice.isEmpty() && s.notice_full_screen == full_screen &&
            to_qrect(s.notice_dest).intersects(area)) {
            painter.setPen(QColor(255, 255, 255));
            painter.drawText(to_qrect(s.notice_dest), Qt::AlignCenter | Qt::TextWordWrap, s.notice);
        }
        if (!s.visible || s.info.full_screen_target != full_screen) continue;
        const QRect dest = to_qrect(s.info.dest);
        if (!dest.intersects(area) && !to_qrect(s.info.rec_box).intersects(area)) continue;
        FrameInfo info;
        const uint8_t* pixels = store_.begin_present(pane, &info);
        if (!pixels) {
            s.visible = false;
            continue;
        }
        const QImage& image = image_over(s, pixels, info.width, info.height);
        const bool zoomed = pane == zoom_pane_ && zoom_.zoomed();
        s.source = zoomed ? zoom_.source_rect(info.width, info.height)
                          : view::SourceRect{0, 0, static_cast<double>(info.width),
                                             static_cast<double>(info.height)};
        if (zoomed) {
            // Only the shown part is scaled: the zoom costs no more than a stretched picture.
            painter.drawImage(QRectF(dest), image,
                              QRectF(s.source.left, s.source.top, s.source.width, s.source.height));
        } else if (dest.size() == image.size()) {
            // Unscaled pictures go in bands of 64 rows: Qt's raster engine hands larger blends
            // to its thread pool and waits for them, which costs more thread switches than the
            // copy itself on small pictures.
            for (int y = 0; y < image.height(); y += kBandRows) {
                const int rows = std::min(kBandRows, image.height() - y);
                painter.drawImage(QPoint(dest.x(), dest.y() + y), image,
                                  QRect(0, y, image.width(), rows));
            }
        } else {
            painter.drawImage(dest, image);
        }
        store_.end_present(pane);
        if (info.rec) {
            const bool fault = rec_fault_[static_cast<size_t>(pane)].load();
            painter.setPen(fault ? QColor(255, 176, 0) : QColor(255, 0, 0));
            painter.drawText(to_qrect(info.rec_box), Qt::AlignRight | Qt::AlignTop,
                             fault ? rec_fault_text_ : rec_text_);
        }
        if (info.packed_time != 0) {
            painter.setPen(QColor(255, 255, 255));
            painter.drawText(dest.adjusted(0, 0, -kOverlayMarginPx, -kOverlayMarginPx),
                             Qt::AlignRight | Qt::AlignBottom,
                             QString::fromLatin1(view::stamp_text(info.packed_time).data()));
        }
        if (!s.counted) {
            s.counted = true;
            store_.count_presented(pane);
            if (info.received_at != 0)
                latency_.record_ns(static_cast<int64_t>(now_ns - info.received_at));
        }
    }
}

void SoftwareRenderer::set_zoom(int pane, const view::DigitalZoom& zoom) {
    if (pane < -1 || pane >= view::kMaxRenderPanes) pane = -1;
    if (pane == zoom_pane_ && zoom == zoom_) return;
    const int old_pane = zoom_pane_;
    zoom_pane_ = pane;
    zoom_ = zoom;
    for (int p : {old_pane, pane})
        if (p >= 0 && shown_[static_cast<size_t>(p)].visible) repaint_pane_area(p);
}

view::SourceRect SoftwareRenderer::drawn_source(int pane) const {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return {};
    return shown_[static_cast<size_t>(pane)].source;
}

void SoftwareRenderer::clear_panes() {
    for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) clear_pane(pane);
}

void SoftwareRenderer::set_pane_rec_fault(int pane, bool fault) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    rec_fault_[static_cast<size_t>(pane)].store(fault);
}

void SoftwareRenderer::clear_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return;
    set_pane_notice(pane, "", {}, false);
    set_pane_rec_fault(pane, false);
    take_notices();
    Shown& s = shown_[static_cast<size_t>(pane)];
    if (s.visible) repaint_pane_area(pane);
    s.visible = false;
    store_.clear(pane);
}

view::PaneFrameCounts SoftwareRenderer::pane_counts(int pane) const {
    if (pane < 0 || pane >= view::kMaxRenderPanes) return {};
    return store_.counts(pane);
}

view::LatencyHistogram SoftwareRenderer::latency() const { return latency_.snapshot(); }

void SoftwareRenderer::reset_stats() {
    store_.reset_counts();
    latency_.reset();
}

}  // namespace orvel::gui::render
