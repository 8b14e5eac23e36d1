#include "gui/render/gl_pane_widget.h"

#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "gui/render/gl_renderer.h"
#include "gui/render/yuy2_shader.h"
#include "view/render/stamp.h"

namespace orvel::gui::render {

namespace {

constexpr int kPositionAttribute = 0;
constexpr int kUvAttribute = 1;
// Space between the end of an elided caption and "REC".
constexpr int kCaptionRecGapPx = 6;

// A quad over the whole viewport: x, y, u, v; v = 0 is the picture's top row.
constexpr float kQuad[16] = {-1.f, -1.f, 0.f, 1.f, 1.f, -1.f, 1.f, 1.f,
                             -1.f, 1.f,  0.f, 0.f, 1.f, 1.f,  1.f, 0.f};

QRect to_qrect(const platform::Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

QFont overlay_font(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    font.setPixelSize(16);
    return font;
}

}  // namespace

GlPaneWidget::GlPaneWidget(GlRenderer& renderer, QWidget* device_window)
    : QOpenGLWidget(device_window), renderer_(renderer) {
    setObjectName(QStringLiteral("gl_panes"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Composed above the device window with alpha, so the window shows where no pane draws.
    setAttribute(Qt::WA_AlwaysStackOnTop);
    QSurfaceFormat fmt = format();
    fmt.setAlphaBufferSize(8);
    setFormat(fmt);
    // Keep the framebuffer between frames: only marked panes are drawn again.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    setGeometry(device_window->rect());
    device_window->installEventFilter(this);
}

GlPaneWidget::~GlPaneWidget() {
    if (context()) {
        // The base class destroys the context after this object is gone: no call back here.
        disconnect(context(), nullptr, this, nullptr);
        makeCurrent();
        release_gl();
        doneCurrent();
    }
}

void GlPaneWidget::release_gl() {
    for (PaneTexture& t : textures_) {
        if (t.id != 0) glDeleteTextures(1, &t.id);
        t.id = 0;
        t.width = t.height = 0;
        t.has_picture = false;
    }
    if (vertex_buffer_ != 0) glDeleteBuffers(1, &vertex_buffer_);
    vertex_buffer_ = 0;
    program_.reset();
    bgrx_program_.reset();
}

void GlPaneWidget::forget_pictures() {
    for (PaneTexture& t : textures_) t.has_picture = false;
    full_redraw_ = true;
}

void GlPaneWidget::forget_picture(int slot) {
    if (slot < 0 || slot >= PaneStore::kSlots) return;
    textures_[static_cast<size_t>(slot)].has_picture = false;
    full_redraw_ = true;
}

bool GlPaneWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(static_cast<QWidget*>(watched)->rect());
    return QOpenGLWidget::eventFilter(watched, event);
}

void GlPaneWidget::initializeGL() {
    initializeOpenGLFunctions();
    // A context lost and made again starts from nothing.
    for (PaneTexture& t : textures_) t = PaneTexture{};
    vertex_buffer_ = 0;
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        release_gl();
        doneCurrent();
    });
    auto build = [](const char* fragment) {
        auto program = std::make_unique<QOpenGLShaderProgram>();
        bool ok = program->addShaderFromSourceCode(QOpenGLShader::Vertex, kYuy2VertexShader) &&
                  program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment);
        program->bindAttributeLocation("a_position", kPositionAttribute);
        program->bindAttributeLocation("a_uv", kUvAttribute);
        if (!ok || !program->link()) program.reset();
        return program;
    };
    program_ = build(kYuy2FragmentShader);
    bgrx_program_ = build(kBgrxFragmentShader);
    if (!program_ || !bgrx_program_) {
        program_.reset();
        bgrx_program_.reset();
        init_failed_ = true;
        renderer_.report_failure(view::kCreateDeviceFailed);
        return;
    }
    glGenBuffers(1, &vertex_buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuad), kQuad, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    full_redraw_ = true;
}

void GlPaneWidget::resizeGL(int, int) { full_redraw_ = true; }

bool GlPaneWidget::take_and_upload(int slot) {
    PaneStore& store = renderer_.store_;
    FrameInfo info;
    if (!store.take_fresh(slot, &info)) return false;
    const uint8_t* pixels = store.begin_present(slot, &info);
    if (!pixels) return false;
    PaneTexture& t = textures_[static_cast<size_t>(slot)];
    // YUY2: one RGBA texel per pixel pair, converted and filtered in the shader; BGRX: one
    // texel per pixel, filtered by the sampler.
    const int texels = info.bgrx ? info.width : info.width / 2;
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    if (t.id == 0) glGenTextures(1, &t.id);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, t.id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (t.width != info.width || t.height != info.height || t.bgrx != info.bgrx) {
        const GLint filter = info.bgrx ? GL_LINEAR : GL_NEAREST;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texels, info.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels);
        t.width = info.width;
        t.height = info.height;
        t.bgrx = info.bgrx;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texels, info.height, GL_RGBA, GL_UNSIGNED_BYTE,
                        pixels);
    }
    store.end_present(slot);
    if (glGetError() != GL_NO_ERROR) {
        // The texture could not be made: the pane shows nothing until it is rebuilt.
        glDeleteTextures(1, &t.id);
        t = PaneTexture{};
        renderer_.report_failure(view::kCreateSurfaceFailed);
        return false;
    }
    t.info = info;
    t.has_picture = true;
    store.count_presented(slot);
    if (info.received_at != 0)
        renderer_.latency_.record_ns(static_cast<int64_t>(steady_now_ns() - info.received_at));
    return true;
}

void GlPaneWidget::draw_picture(int slot, const QRect& target, const view::SourceRect& uv) {
    const PaneTexture& t = textures_[static_cast<size_t>(slot)];
    if (!t.has_picture || t.id == 0 || target.isEmpty()) return;
    const qreal dpr = devicePixelRatioF();
    const int x = static_cast<int>(target.x() * dpr);
    const int y = static_cast<int>((height() - target.y() - target.height()) * dpr);
    glViewport(x, y, static_cast<int>(target.width() * dpr),
               static_cast<int>(target.height() * dpr));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, t.id);
    QOpenGLShaderProgram& program = t.bgrx ? *bgrx_program_ : *program_;
    program.bind();
    program.setUniformValue("u_picture", 0);
    program.setUniformValue("u_uv_rect",
                            QVector4D(static_cast<float>(uv.left), static_cast<float>(uv.top),
                                      static_cast<float>(uv.width), static_cast<float>(uv.height)));
    if (!t.bgrx)
        program.setUniformValue(
            "u_size", QVector2D(static_cast<float>(t.width & ~1), static_cast<float>(t.height)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

const QString& GlPaneWidget::caption_of(int slot) {
    PaneTexture& t = textures_[static_cast<size_t>(slot)];
    const std::string_view text = t.info.caption_text();
    if (t.caption_length != static_cast<int>(text.size()) ||
        std::memcmp(t.caption_bytes.data(), text.data(), text.size()) != 0) {
        std::memcpy(t.caption_bytes.data(), text.data(), text.size());
        t.caption_length = static_cast<int>(text.size());
        t.caption = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        t.fitted_width = -1;
    }
    return t.caption;
}

const QString& GlPaneWidget::caption_within(int slot, const QFontMetrics& metrics, int width) {
    const QString& caption = caption_of(slot);
    PaneTexture& t = textures_[static_cast<size_t>(slot)];
    if (t.fitted_width != width) {
        t.fitted_caption = metrics.elidedText(caption, Qt::ElideRight, width);
        t.fitted_width = width;
    }
    return t.fitted_caption;
}

void GlPaneWidget::draw_pane_texts(QPainter& painter, int slot, const QRect& target) {
    const PaneTexture& t = textures_[static_cast<size_t>(slot)];
    if (!t.has_picture) return;
    painter.save();
    painter.setClipRect(target);
    if (!t.info.rec) {
        painter.setPen(QColor(0, 255, 0));
        painter.drawText(QRect(target.x(), target.y(), 300, 50), Qt::AlignLeft | Qt::AlignTop,
                         caption_of(slot));
        painter.restore();
        return;
    }
    // "REC" right-aligned in (R - 100, T, R - 10, T + 50) of the presented rectangle; in a
    // small pane the caption is elided so it ends before "REC" begins.
    const int right = target.x() + target.width();
    const bool fault = slot < view::kMaxRenderPanes && renderer_.pane_rec_fault(slot);
    const QString rec = fault ? QStringLiteral("REC!") : QStringLiteral("REC");
    const int rec_left = right - 10 - painter.fontMetrics().horizontalAdvance(rec);
    const int caption_width = std::clamp(rec_left - kCaptionRecGapPx - target.x(), 0, 300);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(QRect(target.x(), target.y(), caption_width, 50), Qt::AlignLeft | Qt::AlignTop,
                     caption_within(slot, painter.fontMetrics(), caption_width));
    painter.setPen(fault ? QColor(255, 176, 0) : QColor(255, 0, 0));
    painter.drawText(QRect(right - 100, target.y(), 90, 50), Qt::AlignRight | Qt::AlignTop, rec);
    painter.restore();
}

void GlPaneWidget::draw_high_res_texts(QPainter& painter, int slot, const QRect& target) {
    const PaneTexture& t = textures_[static_cast<size_t>(slot)];
    if (!t.has_picture || t.width <= 0 || t.height <= 0) return;
    // The texts belong to the picture (960 or 1280 x 720) and are scaled with it.
    painter.save();
    painter.setClipRect(target);
    painter.translate(target.topLeft());
    painter.scale(static_cast<qreal>(target.width()) / t.width,
                  static_cast<qreal>(target.height()) / t.height);
    const QRect box(0, 0, t.width, t.height);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, caption_of(slot));
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(box, Qt::AlignRight | Qt::AlignBottom,
                     QString::fromLatin1(view::stamp_text(t.info.packed_time).data()));
    painter.restore();
}

void GlPaneWidget::draw_notices(QPainter& painter) {
    const bool full_view = renderer_.full_view_.load();
    const int current = renderer_.current_pane_.load();
    for (int pane = 0; pane < renderer_.pane_count_; ++pane) {
        const QString& text = notices_[static_cast<size_t>(pane)];
        if (text.isEmpty() || (full_view && pane != current)) continue;
        const QRect target =
            full_view ? rect() : to_qrect(renderer_.pane_rects_[static_cast<size_t>(pane)]);
        painter.save();
        painter.setClipRect(target);
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(target, Qt::AlignCenter | Qt::TextWordWrap, text);
        painter.restore();
    }
}

void GlPaneWidget::paintGL() {
    std::lock_guard lock(renderer_.device_mutex_);
    QPainter painter(this);
    painter.setFont(overlay_font(font()));
    painter.beginNativePainting();
    if (!program_) {
        painter.endNativePainting();
        return;
    }
    const bool full = full_redraw_;
    full_redraw_ = false;
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    if (full) {
        glClearColor(0.f, 0.f, 0.f, 0.f);
        glClear(GL_COLOR_BUFFER_BIT);
        // A pane that shows a notice shows no picture.
        std::lock_guard notice_lock(renderer_.notice_mutex_);
        for (int pane = 0; pane < view::kMaxRenderPanes; ++pane) {
            notices_[static_cast<size_t>(pane)] =
                QString::fromStdString(renderer_.notices_[static_cast<size_t>(pane)]);
            if (!notices_[static_cast<size_t>(pane)].isEmpty())
                textures_[static_cast<size_t>(pane)].has_picture = false;
        }
    }
    program_->bind();
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
    program_->enableAttributeArray(kPositionAttribute);
    program_->enableAttributeArray(kUvAttribute);
    program_->setAttributeBuffer(kPositionAttribute, GL_FLOAT, 0, 2, 4 * sizeof(float));
    program_->setAttributeBuffer(kUvAttribute, GL_FLOAT, 2 * sizeof(float), 2, 4 * sizeof(float));

    struct Drawn {
        int slot;
        QRect target;
        bool high_res;
        view::SourceRect uv{0, 0, 1, 1};
    };
    std::array<Drawn, PaneStore::kSlots> drawn{};
    int drawn_count = 0;
    if (renderer_.full_view_.load()) {
        // One pane fills the window: its own picture or a main-stream one, the newest wins.
        const int pane = renderer_.current_pane_.load();
        const int candidates[3] = {pane, GlRenderer::kNarrowHighResSlot,
                                   GlRenderer::kWideHighResSlot};
        int best = -1;
        bool any_new = false;
        for (int slot : candidates) {
            if (slot < 0 || slot >= PaneStore::kSlots) continue;
            any_new = take_and_upload(slot) || any_new;
        }
        if (any_new || full) {
            for (int slot : candidates) {
                if (slot < 0 || slot >= PaneStore::kSlots) continue;
                const PaneTexture& t = textures_[static_cast<size_t>(slot)];
                if (!t.has_picture) continue;
                if (best < 0 || t.info.seq > textures_[static_cast<size_t>(best)].info.seq)
                    best = slot;
            }
        }
        // The digital zoom only changes which part of the texture the quad shows.
        if (best >= 0)
            drawn[drawn_count++] = {best, rect(), best >= view::kMaxRenderPanes,
                                    renderer_.zoom_.source_rect(1.0, 1.0)};
    } else {
        for (int pane = 0; pane < renderer_.pane_count_; ++pane) {
            const bool fresh = take_and_upload(pane);
            if (!fresh && !(full && textures_[static_cast<size_t>(pane)].has_picture)) continue;
            drawn[drawn_count++] = {
                pane, to_qrect(renderer_.pane_rects_[static_cast<size_t>(pane)]), false};
        }
    }
    for (int i = 0; i < drawn_count; ++i) draw_picture(drawn[i].slot, drawn[i].target, drawn[i].uv);
    program_->disableAttributeArray(kPositionAttribute);
    program_->disableAttributeArray(kUvAttribute);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    program_->release();
    painter.endNativePainting();

    for (int i = 0; i < drawn_count; ++i) {
        if (drawn[i].high_res)
            draw_high_res_texts(painter, drawn[i].slot, drawn[i].target);
        else
            draw_pane_texts(painter, drawn[i].slot, drawn[i].target);
    }
    if (full) draw_notices(painter);
    // Drawn on every frame: a picture that was just drawn may have covered it.
    // Four one-pixel bars cover exactly the pixels a one-pixel QPainter::drawRect covers on
    // the raster engine (the GL engine places outline pixels differently).
    if (!renderer_.full_view_.load() && !renderer_.selection_frame_.isNull()) {
        const QRect& f = renderer_.selection_frame_;
        const QColor colour(renderer_.selection_rgb_);
        painter.fillRect(QRect(f.x(), f.y(), f.width() + 1, 1), colour);
        painter.fillRect(QRect(f.x(), f.y() + f.height(), f.width() + 1, 1), colour);
        painter.fillRect(QRect(f.x(), f.y(), 1, f.height() + 1), colour);
        painter.fillRect(QRect(f.x() + f.width(), f.y(), 1, f.height() + 1), colour);
    }
}

}  // namespace orvel::gui::render
