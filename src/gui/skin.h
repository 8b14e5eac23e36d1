// The main window's skin: four images per screen mode, painted behind every control.
// With base b = 419 (1024 x 768 mode) or 445 (1280 x 1024 mode): b is the band above the
// video area, b - 2 the strip left of it, b - 3 the band below it and b - 1 the control
// panel on the right.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QPoint>
#include <QSize>

namespace orvel::gui {

// Size of skin image `number`, or an invalid size when it is not a skin image.
QSize skin_image_size(int number);

// Draws skin image `number` (no caching; see face_pixmap for the cached copy). UI thread only.
QPixmap render_skin_image(int number);

// Paints the whole skin of the mode with base image `base` (419 or 445), each image at its
// own size and place: b at (0, 0), b - 2 at (0, top), b - 3 at (0, bottom) and b - 1 at
// (right, 0). UI thread only.
void paint_skin(QPainter& p, int base);

// Where image `number` goes in the window.
QPoint skin_image_origin(int number);

}  // namespace orvel::gui
