#pragma once
// The GL widget of the GPU path: one texture per pane (and per high-resolution size), the
// YUY2 conversion program, and the scene that presents marked panes. UI thread only.
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QString>
#include <array>
#include <memory>

#include "gui/render/pane_store.h"
#include "view/digital_zoom.h"

class QOpenGLShaderProgram;
class QPainter;

namespace orvel::gui::render {

class GlRenderer;

class GlPaneWidget final : public QOpenGLWidget, protected QOpenGLFunctions {
public:
    // Thread: UI thread. Covers `device_window` and follows its size.
    GlPaneWidget(GlRenderer& renderer, QWidget* device_window);
    ~GlPaneWidget() override;

    // Thread: UI thread. The next frame clears the widget and draws every pane again.
    void request_full_redraw() { full_redraw_ = true; }
    // Thread: UI thread. Forgets the pictures held in the textures (panes rebuilt).
    void forget_pictures();
    // Thread: UI thread. Forgets one pane's picture (its pane closed); the next frame clears
    // the widget so the pane's area shows the window beneath again.
    void forget_picture(int slot);
    // Thread: UI thread. True once initializeGL has failed to build the program.
    bool init_failed() const { return init_failed_; }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PaneTexture {
        unsigned id = 0;
        int width = 0;  // picture pixels (width / 2 texels of YUY2, or width texels of BGRX)
        int height = 0;
        bool bgrx = false;
        bool has_picture = false;
        FrameInfo info;
        QString caption;
        std::array<char, kCaptionMaxBytes> caption_bytes{};
        int caption_length = -1;
        QString fitted_caption;  // the caption elided to `fitted_width` pixels
        int fitted_width = -1;   // -1: not made for the current caption
    };

    // Uploads the slot's newest picture; false when there is none or the texture failed.
    bool take_and_upload(int slot);
    // `uv`: the part of the picture drawn, as fractions of it (the whole: 0, 0, 1, 1).
    void draw_picture(int slot, const QRect& target, const view::SourceRect& uv);
    void draw_pane_texts(QPainter& painter, int slot, const QRect& target);
    void draw_high_res_texts(QPainter& painter, int slot, const QRect& target);
    const QString& caption_of(int slot);
    // The caption, elided at its end when wider than `width` pixels in the painter's font.
    const QString& caption_within(int slot, const QFontMetrics& metrics, int width);
    void draw_notices(QPainter& painter);
    void release_gl();

    GlRenderer& renderer_;
    std::array<PaneTexture, PaneStore::kSlots> textures_{};
    std::array<QString, view::kMaxRenderPanes> notices_;  // as of the last full redraw
    std::unique_ptr<QOpenGLShaderProgram> program_;
    std::unique_ptr<QOpenGLShaderProgram> bgrx_program_;
    unsigned vertex_buffer_ = 0;
    bool full_redraw_ = true;
    bool init_failed_ = false;
};

}  // namespace orvel::gui::render
