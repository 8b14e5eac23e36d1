// Skin art of the console: a brushed dark frame around the video area and a control panel
// with recessed wells behind the tool bar, the camera tree, the split keys and the camera pad.
#include "gui/skin.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include "gui/faces.h"

namespace orvel::gui {
namespace {

// Geometry of one screen mode, as the skin needs it.
struct SkinMode {
    int base;
    int width, height;
    int video_left, video_top, video_right, video_bottom;
    int bottom_y, panel_x;  // where the band below the video and the panel start
    // Decorations of the control panel, in window coordinates.
    QRect toolbar, tree, split, pad_cross, pad_rows, toggles, window_keys, playback, audio;
    int pad_row_y[3];
    int pad_label_x;  // centre of the labels between the left and right pad keys
    bool big_brand;   // the 1280 mode has room for the brand above the tool bar
};

const SkinMode kModes[2] = {
    {419, 1024, 768, 9, 9, 817, 666, 667, 818,
     QRect(852, 20, 144, 38), QRect(844, 55, 156, 256), QRect(862, 315, 116, 76),
     QRect(866, 402, 107, 107), QRect(863, 524, 146, 136), QRect(),
     QRect(838, 672, 110, 70), QRect(20, 709, 706, 40), QRect(728, 694, 54, 50),
     {530, 566, 604}, 936, false},
    {445, 1280, 1024, 22, 24, 1088, 897, 896, 1088,
     QRect(1112, 224, 144, 38), QRect(1102, 255, 158, 264), QRect(1122, 517, 116, 80),
     QRect(1126, 614, 107, 107), QRect(1123, 740, 146, 142), QRect(),
     QRect(1098, 920, 118, 74), QRect(20, 965, 840, 42), QRect(921, 940, 60, 52),
     {746, 782, 820}, 1196, true},
};

const SkinMode* mode_of(int number, int* which) {
    for (const SkinMode& m : kModes) {
        for (int k = 0; k < 4; ++k) {
            if (number == m.base - k) {
                *which = k;
                return &m;
            }
        }
    }
    return nullptr;
}

QRect image_rect(const SkinMode& m, int which) {
    switch (which) {
        case 0:
            return QRect(0, 0, m.panel_x, m.video_top);
        case 2:
            return QRect(0, m.video_top, m.video_left, m.bottom_y - m.video_top);
        case 3:
            return QRect(0, m.bottom_y, m.panel_x, m.height - m.bottom_y);
        default:
            return QRect(m.panel_x, 0, m.width - m.panel_x, m.height);
    }
}

void fill_metal(QPainter& p, const QRect& r, bool vertical) {
    QLinearGradient g(r.topLeft(), vertical ? r.bottomLeft() : r.topRight());
    g.setColorAt(0, QColor(36, 40, 47));
    g.setColorAt(0.5, QColor(28, 31, 37));
    g.setColorAt(1, QColor(22, 25, 30));
    p.fillRect(r, g);
}

// A recessed well: darker rounded area with a shadow edge above and a highlight below.
void well(QPainter& p, const QRectF& r, qreal radius = 6) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(14, 16, 20));
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(r.left() + radius, r.bottom() + 0.5),
               QPointF(r.right() - radius, r.bottom() + 0.5));
}

void caption(QPainter& p, const QRectF& r, const QString& s, int px = 9,
             Qt::Alignment a = Qt::AlignCenter, QColor c = QColor(122, 132, 148)) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, a, s);
}

void brand(QPainter& p, const QRectF& r, int px) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(true);
    p.setFont(f);
    QFontMetricsF fm(f);
    const QString a = QStringLiteral("Orvel"), b = QStringLiteral("Cam");
    const qreal wa = fm.horizontalAdvance(a), wb = fm.horizontalAdvance(b);
    qreal x = r.left() + (r.width() - wa - wb) / 2;
    const qreal y = r.top() + (r.height() + fm.ascent() - fm.descent()) / 2;
    p.setPen(QColor(220, 226, 234));
    p.drawText(QPointF(x, y), a);
    p.setPen(QColor(70, 160, 235));
    p.drawText(QPointF(x + wa, y), b);
}

void paint_panel(QPainter& p, const SkinMode& m, const QRect& img) {
    // Everything below is drawn in window coordinates; the caller shifted the painter.
    p.setRenderHint(QPainter::Antialiasing, true);
    fill_metal(p, img, true);
    // Separator between the video frame and the panel.
    p.setPen(QColor(8, 9, 11));
    p.drawLine(img.left(), 0, img.left(), m.height);
    p.setPen(QColor(58, 64, 74));
    p.drawLine(img.left() + 1, 0, img.left() + 1, m.height);

    if (m.big_brand) {
        const QRectF logo(img.left() + 8, 40, img.width() - 16, 120);
        well(p, logo, 10);
        brand(p, logo.adjusted(0, -16, 0, -16), 28);
        caption(p, logo.adjusted(0, 44, 0, 0), QStringLiteral("NETWORK VIDEO CONSOLE"), 9);
        caption(p, QRectF(img.left(), 196, img.width(), 20), QStringLiteral("SITES"), 10);
    } else {
        brand(p, QRectF(img.left(), 1, img.width(), 18), 13);
    }
    well(p, m.toolbar);
    well(p, m.tree, 4);
    well(p, m.split);
    // Camera pad: a round well behind the direction cross.
    const QRectF cross(m.pad_cross);
    p.setPen(Qt::NoPen);
    QRadialGradient g(cross.center(), cross.width() / 2);
    g.setColorAt(0, QColor(30, 34, 40));
    g.setColorAt(0.85, QColor(14, 16, 20));
    g.setColorAt(1, QColor(10, 11, 14));
    p.setBrush(g);
    p.drawEllipse(cross.adjusted(-6, -6, 6, 6));
    p.setPen(QPen(QColor(255, 255, 255, 24), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(cross.adjusted(-6.5, -6.5, 6.5, 6.5));
    caption(p, QRectF(img.left(), cross.top() - 22, 40, 14), QStringLiteral("PTZ"), 9,
            Qt::AlignRight | Qt::AlignVCenter);

    well(p, m.pad_rows);
    const char* labels[3] = {"FOCUS", "IRIS", "ZOOM"};
    for (int i = 0; i < 3; ++i) {
        caption(p, QRectF(m.pad_label_x - 28, m.pad_row_y[i], 56, 26),
                QString::fromLatin1(labels[i]), 8);
    }
    if (!m.toggles.isEmpty()) well(p, m.toggles);
    well(p, m.window_keys, 10);
}

void paint_bottom(QPainter& p, const SkinMode& m, const QRect& img) {
    p.setRenderHint(QPainter::Antialiasing, true);
    fill_metal(p, img, true);
    // Bevel under the video area.
    p.setPen(QColor(60, 66, 76));
    p.drawLine(img.left(), img.top() + 1, img.right(), img.top() + 1);
    well(p, m.playback);
    caption(p, QRectF(m.playback.left() + 8, m.playback.top() - 16, 200, 12),
            QStringLiteral("FILE PLAYBACK"), 8, Qt::AlignLeft | Qt::AlignVCenter);
    well(p, m.audio);
    caption(p, QRectF(m.audio.left(), m.audio.top() - 14, m.audio.width(), 12),
            QStringLiteral("AUDIO"), 8);
    if (!m.big_brand) return;
    caption(p, QRectF(m.playback.right() + 12, m.playback.top(), 200, m.playback.height()),
            QString(), 8);
}

void paint_frame(QPainter& p, const SkinMode& m, const QRect& img, int which) {
    fill_metal(p, img, which != 2);
    // Thin highlight on the edge that meets the video area.
    if (which == 0 && img.height() >= 20) {
        // The band is the window's handle: a grip in the middle, the name on the left.
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        const int cx = img.width() / 2, cy = img.height() / 2;
        for (int i = -6; i <= 6; ++i) {
            p.setBrush(QColor(255, 255, 255, 30));
            p.drawEllipse(QPointF(cx + i * 6, cy - 2), 1.2, 1.2);
            p.drawEllipse(QPointF(cx + i * 6 + 3, cy + 2), 1.2, 1.2);
        }
        caption(p, QRectF(m.video_left + 4, 0, 300, img.height()),
                QStringLiteral("LIVE VIEW"), 9, Qt::AlignLeft | Qt::AlignVCenter);
    }
    p.setPen(QColor(60, 66, 76));
    if (which == 0) {
        p.drawLine(m.video_left - 1, img.bottom(), img.right(), img.bottom());
    } else {
        p.drawLine(img.right(), img.top(), img.right(), img.bottom());
    }
}

}  // namespace

QSize skin_image_size(int number) {
    int which = 0;
    const SkinMode* m = mode_of(number, &which);
    return m ? image_rect(*m, which).size() : QSize();
}

QPoint skin_image_origin(int number) {
    int which = 0;
    const SkinMode* m = mode_of(number, &which);
    return m ? image_rect(*m, which).topLeft() : QPoint();
}

QPixmap render_skin_image(int number) {
    int which = 0;
    const SkinMode* m = mode_of(number, &which);
    if (!m) return QPixmap();
    const QRect r = image_rect(*m, which);
    QPixmap pm(r.size());
    pm.fill(QColor(24, 27, 32));
    QPainter p(&pm);
    p.translate(-r.topLeft());
    switch (which) {
        case 1:
            paint_panel(p, *m, r);
            break;
        case 3:
            paint_bottom(p, *m, r);
            break;
        default:
            paint_frame(p, *m, r, which);
            break;
    }
    return pm;
}

void paint_skin(QPainter& p, int base) {
    // The four images leave a one-pixel row between the video area and the band below it
    // in the 1024 mode; the frame colour goes underneath so nothing stays unpainted.
    int which = 0;
    if (const SkinMode* m = mode_of(base, &which)) {
        p.fillRect(QRect(0, 0, m->width, m->height), QColor(22, 25, 30));
    }
    for (int number : {base, base - 2, base - 3, base - 1}) {
        p.drawPixmap(skin_image_origin(number), face_pixmap(number));
    }
}

}  // namespace orvel::gui
