// Vector-drawn faces of the console: a dark, slightly raised key with a light glyph; pressed
// keys sink and get a blue rim; "on" states light their glyph in the accent colour.
#include "gui/faces.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "gui/skin.h"

namespace orvel::gui {
namespace {

const QColor kInk(214, 221, 230);
const QColor kInkDim(150, 158, 170);
const QColor kAccent(70, 160, 235);
const QColor kRed(226, 78, 66);
const QColor kGreen(76, 196, 122);
const QColor kAmber(236, 172, 62);

enum class Shape { Key, Round, Flat };

struct FaceInfo {
    QSize size;
    Shape shape = Shape::Key;
    bool pressed = false;
};

// Raised key: rounded body with a vertical gradient, a dark outline and a top highlight.
void paint_key(QPainter& p, const QRectF& r, bool pressed, Shape shape) {
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    if (pressed) {
        g.setColorAt(0, QColor(22, 25, 30));
        g.setColorAt(1, QColor(38, 43, 51));
    } else {
        g.setColorAt(0, QColor(66, 73, 84));
        g.setColorAt(0.5, QColor(46, 51, 60));
        g.setColorAt(1, QColor(33, 37, 44));
    }
    p.setBrush(g);
    p.setPen(QPen(pressed ? kAccent : QColor(10, 12, 15), 1));
    if (shape == Shape::Round) {
        p.drawEllipse(body);
    } else {
        const qreal radius = std::min<qreal>(5.0, std::min(body.width(), body.height()) / 4);
        p.drawRoundedRect(body, radius, radius);
    }
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 38), 1));
        p.setBrush(Qt::NoBrush);
        if (shape == Shape::Round) {
            p.drawArc(body.adjusted(1.5, 1.5, -1.5, -1.5), 40 * 16, 100 * 16);
        } else {
            p.drawLine(QPointF(body.left() + 4, body.top() + 1.5),
                       QPointF(body.right() - 4, body.top() + 1.5));
        }
    }
}

QPen glyph_pen(const QColor& c, qreal w = 1.8) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& col) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawPath(path);
}

void text(QPainter& p, const QRectF& r, const QString& s, const QColor& col, int px,
          bool bold = true) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setLetterSpacing(QFont::PercentageSpacing, 104);
    p.setFont(f);
    p.setPen(col);
    p.drawText(r, Qt::AlignCenter, s);
}

// --- glyphs ---------------------------------------------------------------------------

void glyph_connect(QPainter& p, QRectF r, QColor c) {
    // Two chain links.
    p.setPen(glyph_pen(c, 2));
    p.setBrush(Qt::NoBrush);
    const QPointF m = r.center();
    p.save();
    p.translate(m);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-9, -3.5, 10, 7), 3.5, 3.5);
    p.drawRoundedRect(QRectF(-1, -3.5, 10, 7), 3.5, 3.5);
    p.restore();
}

void glyph_gear(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a = i * M_PI / teeth;
        const qreal rad = (i % 2 == 0) ? 8.0 : 6.0;
        const qreal a0 = a - M_PI / (teeth * 2.2), a1 = a + M_PI / (teeth * 2.2);
        const QPointF p0(m.x() + rad * std::cos(a0), m.y() + rad * std::sin(a0));
        const QPointF p1(m.x() + rad * std::cos(a1), m.y() + rad * std::sin(a1));
        if (i == 0) {
            gear.moveTo(p0);
        } else {
            gear.lineTo(p0);
        }
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(m, 2.6, 2.6);
    p.drawPath(gear.subtracted(hole));
}

void glyph_corners(QPainter& p, QRectF r, QColor c, bool inward) {
    p.setPen(glyph_pen(c, 2));
    const QRectF b = r.adjusted(r.width() / 2 - 8, r.height() / 2 - 7, -(r.width() / 2 - 8),
                                -(r.height() / 2 - 7));
    const qreal k = 5;
    const QPointF cs[4] = {b.topLeft(), b.topRight(), b.bottomRight(), b.bottomLeft()};
    const int sx[4] = {1, -1, -1, 1}, sy[4] = {1, 1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        QPointF o = cs[i];
        if (inward) o += QPointF(sx[i] * k, sy[i] * k);
        const qreal dx = inward ? -sx[i] * k : sx[i] * k;
        const qreal dy = inward ? -sy[i] * k : sy[i] * k;
        p.drawLine(o, o + QPointF(dx, 0));
        p.drawLine(o, o + QPointF(0, dy));
    }
}

void glyph_folder(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    QPainterPath f;
    f.moveTo(m.x() - 9, m.y() - 6);
    f.lineTo(m.x() - 3, m.y() - 6);
    f.lineTo(m.x() - 1, m.y() - 4);
    f.lineTo(m.x() + 9, m.y() - 4);
    f.lineTo(m.x() + 9, m.y() + 7);
    f.lineTo(m.x() - 9, m.y() + 7);
    f.closeSubpath();
    p.setPen(glyph_pen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(f);
    p.drawLine(QPointF(m.x() - 9, m.y() - 1), QPointF(m.x() + 9, m.y() - 1));
}

void glyph_power(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    const qreal rad = std::min(r.width(), r.height()) * 0.26;
    p.setPen(glyph_pen(c, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(m.x() - rad, m.y() - rad + 2, rad * 2, rad * 2), 120 * 16, 300 * 16);
    p.drawLine(QPointF(m.x(), m.y() - rad - 1), QPointF(m.x(), m.y() + 1));
}

void glyph_speaker(QPainter& p, QRectF r, QColor c, bool on) {
    const QPointF m(r.center().x() - 4, r.top() + r.height() * 0.4);
    QPainterPath s;
    s.moveTo(m.x() - 8, m.y() - 3);
    s.lineTo(m.x() - 4, m.y() - 3);
    s.lineTo(m.x() + 1, m.y() - 7);
    s.lineTo(m.x() + 1, m.y() + 7);
    s.lineTo(m.x() - 4, m.y() + 3);
    s.lineTo(m.x() - 8, m.y() + 3);
    s.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(s);
    p.setBrush(Qt::NoBrush);
    if (on) {
        p.setPen(glyph_pen(kAccent, 1.6));
        p.drawArc(QRectF(m.x() - 3, m.y() - 5, 10, 10), -50 * 16, 100 * 16);
        p.drawArc(QRectF(m.x() - 5, m.y() - 9, 18, 18), -50 * 16, 100 * 16);
    } else {
        p.setPen(glyph_pen(kRed, 1.8));
        p.drawLine(QPointF(m.x() + 5, m.y() - 3.5), QPointF(m.x() + 12, m.y() + 3.5));
        p.drawLine(QPointF(m.x() + 12, m.y() - 3.5), QPointF(m.x() + 5, m.y() + 3.5));
    }
    text(p, QRectF(r.left(), r.top() + r.height() * 0.66, r.width(), r.height() * 0.3),
         on ? QStringLiteral("ON") : QStringLiteral("MUTE"), on ? kAccent : kInkDim, 8);
}

void glyph_play(QPainter& p, QPointF m, qreal s, QColor c) {
    triangle(p, QPointF(m.x() - s * 0.45, m.y() - s * 0.55), QPointF(m.x() + s * 0.6, m.y()),
             QPointF(m.x() - s * 0.45, m.y() + s * 0.55), c);
}

void glyph_grid(QPainter& p, QRectF r, int n, bool selected) {
    const qreal side = std::min(r.width(), r.height()) - 10;
    const QRectF g(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    const qreal gap = n <= 3 ? 2 : 1;
    const qreal cell = (side - gap * (n - 1)) / n;
    p.setPen(Qt::NoPen);
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            QColor fill = selected ? kAccent : QColor(120, 130, 145);
            if (!selected && (row + col) % 2) fill = fill.darker(115);
            p.setBrush(fill);
            p.drawRect(QRectF(g.left() + col * (cell + gap), g.top() + row * (cell + gap), cell,
                              cell));
        }
    }
}

void glyph_camera(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    p.setPen(glyph_pen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(m.x() - 9, m.y() - 5, 18, 12), 2, 2);
    p.drawRect(QRectF(m.x() - 4, m.y() - 8, 8, 3));
    p.drawEllipse(QPointF(m.x(), m.y() + 1), 3.5, 3.5);
}

void glyph_printer(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    p.setPen(glyph_pen(c, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(m.x() - 5, m.y() - 8, 10, 5));
    p.drawRoundedRect(QRectF(m.x() - 9, m.y() - 3, 18, 8), 2, 2);
    p.drawRect(QRectF(m.x() - 5, m.y() + 2, 10, 6));
}

void glyph_target(QPainter& p, QRectF r, QColor c) {
    const QPointF m = r.center();
    p.setPen(glyph_pen(c, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(m, 8, 8);
    p.setBrush(c);
    p.drawEllipse(m, 2.5, 2.5);
    p.drawLine(QPointF(m.x(), m.y() - 12), QPointF(m.x(), m.y() - 6));
    p.drawLine(QPointF(m.x(), m.y() + 6), QPointF(m.x(), m.y() + 12));
    p.drawLine(QPointF(m.x() - 12, m.y()), QPointF(m.x() - 6, m.y()));
    p.drawLine(QPointF(m.x() + 6, m.y()), QPointF(m.x() + 12, m.y()));
}

void glyph_iris(QPainter& p, QRectF r, QColor c, bool large) {
    const QPointF m = r.center();
    p.setPen(glyph_pen(c, 1.4));
    const qreal inner = large ? 4 : 2.2;
    p.setBrush(large ? c : Qt::NoBrush);
    p.drawEllipse(m, inner, inner);
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        const qreal r0 = inner + 2, r1 = large ? inner + 6 : inner + 3.5;
        p.drawLine(QPointF(m.x() + r0 * std::cos(a), m.y() + r0 * std::sin(a)),
                   QPointF(m.x() + r1 * std::cos(a), m.y() + r1 * std::sin(a)));
    }
}

QString glyph_label(int number) {
    switch (number) {
        case face::kFocusFar:
            return QStringLiteral("FAR");
        case face::kFocusNear:
            return QStringLiteral("NEAR");
        case face::kZoomShort:
            return QStringLiteral("W");
        case face::kZoomLong:
            return QStringLiteral("T");
        default:
            return {};
    }
}

// --- catalogue ------------------------------------------------------------------------

FaceInfo info_of(int n) {
    const QSize tool(32, 30), split(34, 32), ctl(36, 28), small(32, 28), pair(30, 30);
    switch (n) {
        case face::kConnect: case face::kSettings: case face::kZoomEnlarge:
        case face::kZoomRestore: case face::kOpenFile:
            return {tool};
        case face::kConnectPressed: case face::kSettingsPressed: case face::kOpenFilePressed:
            return {tool, Shape::Key, true};
        case face::kExit:
            return {QSize(60, 30)};
        case face::kExitPressed:
            return {QSize(60, 30), Shape::Key, true};
        case face::kMinimise:
            return {QSize(36, 24)};
        case face::kMinimisePressed:
            return {QSize(36, 24), Shape::Key, true};
        case face::kAudioOn: case face::kAudioSilent:
            return {QSize(48, 40)};
        case face::kFastPlayOn:
            return {ctl, Shape::Key, true};
        case face::kFastPlayOff:
            return {ctl};
        case face::kFullScreen:
            return {split};
        case face::kSelectCamera:
            return {QSize(46, 46), Shape::Round};
        case face::kToggleBOff: case face::kToggleAOff:
            return {QSize(44, 24)};
        case face::kToggleBOn: case face::kToggleAOn:
            return {QSize(44, 24), Shape::Key, true};
        case face::kSplit4: case face::kSplit9: case face::kSplit16: case face::kSplit25:
        case face::kSplit36:
            return {split};
        case face::kSplit4Selected: case face::kSplit9Selected: case face::kSplit16Selected:
        case face::kSplit25Selected: case face::kSplit36Selected:
            return {split, Shape::Key, true};
        case face::kStop: case face::kPlay: case face::kPause: case face::kFrameStep:
            return {ctl};
        case face::kSpeedPlay: case face::kPrint: case face::kPhoto:
            return {small};
        case face::kStopPressed:
            return {ctl, Shape::Key, true};
        default:
            break;
    }
    if (n >= face::kPadUp && n <= face::kZoomLong + 1) {
        const int base = n - ((n - face::kPadUp) % 2);
        const bool pressed = (n - face::kPadUp) % 2 == 1;
        if (base == face::kPadUp || base == face::kPadDown) return {QSize(62, 21), Shape::Key, pressed};
        if (base == face::kPadLeft || base == face::kPadRight) return {QSize(29, 55), Shape::Key, pressed};
        return {pair, Shape::Key, pressed};
    }
    if (n >= face::kTreeFirst && n <= face::kTreeLast) return {QSize(13, 16), Shape::Flat};
    return {};
}

void paint_tree_image(QPainter& p, int n) {
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r(0, 0, 13, 16);
    auto dot = [&](QColor c) {
        QRadialGradient g(QPointF(5.5, 6.5), 6);
        g.setColorAt(0, c.lighter(150));
        g.setColorAt(1, c.darker(130));
        p.setPen(QPen(QColor(0, 0, 0, 160), 1));
        p.setBrush(g);
        p.drawEllipse(QRectF(1.5, 3.5, 10, 10));
    };
    auto monitor = [&](QColor c) {
        p.setPen(QPen(c, 1.2));
        p.setBrush(QColor(20, 24, 30));
        p.drawRoundedRect(QRectF(0.5, 2.5, 12, 9), 1.5, 1.5);
        p.drawLine(QPointF(6.5, 11.5), QPointF(6.5, 13.5));
        p.drawLine(QPointF(3.5, 14), QPointF(9.5, 14));
    };
    switch (n) {
        case 421:  // site logged in
            monitor(kGreen);
            p.setBrush(kGreen);
            p.setPen(Qt::NoPen);
            p.drawRect(QRectF(2.5, 4.5, 8, 5));
            break;
        case 422:  // camera playing
            dot(kGreen);
            triangle(p, QPointF(5, 6), QPointF(9, 8.5), QPointF(5, 11), QColor(10, 30, 16));
            break;
        case 423:  // placeholder: nothing shown
            break;
        case 424:  // site not connected
            monitor(kInkDim);
            break;
        case 425:  // camera idle
            dot(QColor(110, 118, 130));
            break;
        case 426:  // camera playing and recording
            dot(kRed);
            p.setBrush(Qt::white);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(6.5, 8.5), 2, 2);
            break;
        case 427:  // camera unavailable
            dot(kAmber);
            p.setPen(QPen(QColor(40, 24, 0), 1.4));
            p.drawLine(QPointF(6.5, 5.5), QPointF(6.5, 9));
            p.drawPoint(QPointF(6.5, 11));
            break;
        default:
            break;
    }
    (void)r;
}

void paint_face(QPainter& p, int n, const FaceInfo& fi) {
    const QRectF r(0, 0, fi.size.width(), fi.size.height());
    if (fi.shape == Shape::Flat) {
        paint_tree_image(p, n);
        return;
    }
    paint_key(p, r, fi.pressed, fi.shape);
    const QColor ink = fi.pressed ? kAccent.lighter(120) : kInk;
    const QPointF m = r.center();
    switch (n) {
        case face::kConnect: case face::kConnectPressed:
            glyph_connect(p, r, ink);
            return;
        case face::kSettings: case face::kSettingsPressed:
            glyph_gear(p, r, ink);
            return;
        case face::kZoomEnlarge:
            glyph_corners(p, r, ink, false);
            return;
        case face::kZoomRestore:
            glyph_corners(p, r, kAccent, true);
            return;
        case face::kOpenFile: case face::kOpenFilePressed:
            glyph_folder(p, r, ink);
            return;
        case face::kExit: case face::kExitPressed:
            glyph_power(p, QRectF(r.left() + 2, r.top(), r.height(), r.height()),
                        fi.pressed ? kRed.lighter(130) : kRed);
            text(p, r.adjusted(r.height() - 2, 0, -4, 0), QStringLiteral("EXIT"), ink, 10);
            return;
        case face::kMinimise: case face::kMinimisePressed:
            p.setPen(glyph_pen(ink, 2.4));
            p.drawLine(QPointF(m.x() - 7, m.y() + 5), QPointF(m.x() + 7, m.y() + 5));
            return;
        case face::kAudioOn: case face::kAudioSilent:
            glyph_speaker(p, r, ink, n == face::kAudioOn);
            return;
        case face::kFastPlayOn: case face::kFastPlayOff: {
            const QColor c = n == face::kFastPlayOn ? kAmber : ink;
            glyph_play(p, QPointF(m.x() - 4, m.y()), 10, c);
            glyph_play(p, QPointF(m.x() + 5, m.y()), 10, c);
            return;
        }
        case face::kFullScreen:
            glyph_corners(p, r, ink, false);
            p.setPen(glyph_pen(ink, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(m.x() - 4, m.y() - 3, 8, 6));
            return;
        case face::kSelectCamera:
            glyph_target(p, r, ink);
            return;
        case face::kToggleBOff: case face::kToggleBOn: case face::kToggleAOff:
        case face::kToggleAOn: {
            const bool on = fi.pressed;
            p.setPen(Qt::NoPen);
            p.setBrush(on ? kGreen : QColor(60, 66, 76));
            p.drawEllipse(QPointF(7, m.y()), 2.5, 2.5);
            text(p, r.adjusted(10, 0, -1, 0),
                 (n == face::kToggleBOff || n == face::kToggleBOn) ? QStringLiteral("AUX B")
                                                                  : QStringLiteral("AUX A"),
                 on ? kInk : kInkDim, 8);
            return;
        }
        case face::kSplit4: case face::kSplit4Selected:
            glyph_grid(p, r, 2, fi.pressed);
            return;
        case face::kSplit9: case face::kSplit9Selected:
            glyph_grid(p, r, 3, fi.pressed);
            return;
        case face::kSplit16: case face::kSplit16Selected:
            glyph_grid(p, r, 4, fi.pressed);
            return;
        case face::kSplit25: case face::kSplit25Selected:
            glyph_grid(p, r, 5, fi.pressed);
            return;
        case face::kSplit36: case face::kSplit36Selected:
            glyph_grid(p, r, 6, fi.pressed);
            return;
        case face::kStop: case face::kStopPressed:
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawRect(QRectF(m.x() - 5, m.y() - 5, 10, 10));
            return;
        case face::kPlay:
            glyph_play(p, m, 12, kGreen);
            return;
        case face::kPause:
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawRect(QRectF(m.x() - 5, m.y() - 6, 3.5, 12));
            p.drawRect(QRectF(m.x() + 1.5, m.y() - 6, 3.5, 12));
            return;
        case face::kSpeedPlay:
            glyph_play(p, QPointF(m.x() - 6, m.y()), 11, ink);
            text(p, r.adjusted(r.width() / 2 - 2, 0, 0, 0), QStringLiteral("x"), ink, 11);
            return;
        case face::kFrameStep:
            glyph_play(p, QPointF(m.x() - 2, m.y()), 11, ink);
            p.setPen(glyph_pen(ink, 2));
            p.drawLine(QPointF(m.x() + 6, m.y() - 6), QPointF(m.x() + 6, m.y() + 6));
            return;
        case face::kPrint:
            glyph_printer(p, r, ink);
            return;
        case face::kPhoto:
            glyph_camera(p, r, ink);
            return;
        default:
            break;
    }
    if (n >= face::kPadUp && n <= face::kZoomLong + 1) {
        const int base = n - ((n - face::kPadUp) % 2);
        const qreal s = 7;
        switch (base) {
            case face::kPadUp:
                triangle(p, {m.x(), m.y() - s * 0.7}, {m.x() + s, m.y() + s * 0.6},
                         {m.x() - s, m.y() + s * 0.6}, ink);
                return;
            case face::kPadDown:
                triangle(p, {m.x(), m.y() + s * 0.7}, {m.x() + s, m.y() - s * 0.6},
                         {m.x() - s, m.y() - s * 0.6}, ink);
                return;
            case face::kPadLeft:
                triangle(p, {m.x() - s * 0.7, m.y()}, {m.x() + s * 0.6, m.y() - s},
                         {m.x() + s * 0.6, m.y() + s}, ink);
                return;
            case face::kPadRight:
                triangle(p, {m.x() + s * 0.7, m.y()}, {m.x() - s * 0.6, m.y() - s},
                         {m.x() - s * 0.6, m.y() + s}, ink);
                return;
            case face::kIrisLarge:
                glyph_iris(p, r, ink, true);
                return;
            case face::kIrisSmall:
                glyph_iris(p, r, ink, false);
                return;
            default:
                const bool focus = base == face::kFocusFar || base == face::kFocusNear;
                text(p, r, glyph_label(base), ink, focus ? 8 : 13);
                return;
        }
    }
}

}  // namespace

bool face_known(int number) {
    return !info_of(number).size.isEmpty() || skin_image_size(number).isValid();
}

QSize face_size(int number) {
    const QSize skin = skin_image_size(number);
    if (skin.isValid()) return skin;
    const FaceInfo fi = info_of(number);
    return fi.size.isEmpty() ? QSize(32, 24) : fi.size;
}

QPixmap face_pixmap(int number) { return face_pixmap(number, QSize()); }

QPixmap face_pixmap(int number, QSize size) {
    static QHash<qint64, QPixmap> cache;
    if (!size.isValid() || size.isEmpty()) size = face_size(number);
    const qint64 key = (qint64(number) << 32) | (qint64(size.width()) << 16) | size.height();
    const auto it = cache.constFind(key);
    if (it != cache.constEnd()) return *it;
    QPixmap pm;
    if (skin_image_size(number).isValid()) {
        pm = render_skin_image(number);
    } else {
        FaceInfo fi = info_of(number);
        const bool unknown = fi.size.isEmpty();
        fi.size = size;
        pm = QPixmap(fi.size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        if (unknown) {
            paint_key(p, QRectF(QPointF(0, 0), fi.size), false, Shape::Key);
        } else {
            paint_face(p, number, fi);
        }
    }
    cache.insert(key, pm);
    return pm;
}

}  // namespace orvel::gui
