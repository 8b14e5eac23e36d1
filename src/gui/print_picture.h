#pragma once
// Printing a pane's picture: one page, the picture at six times its pixel size (in the
// printer's device pixels, without smoothing) from the top-left corner of the printable area.
#include <QImage>
#include <cstdint>
#include <vector>

class QPainter;
class QPrinter;

namespace orvel::gui {

inline constexpr int kPrintScale = 6;

// Draws the page's content on `painter` (any paint device).
void paint_print_page(QPainter& painter, const QImage& picture);

// Prints `picture` on `printer` (as chosen in the print dialog) as the document "bmp", one
// copy, page 1. False when the printer cannot be used or the picture is empty. UI thread.
bool print_picture(QPrinter& printer, const QImage& picture);

// The picture of a BMP file made by the snapshot writer (media/bmp.h); null when unusable.
QImage image_from_bmp(const std::vector<uint8_t>& bmp);

}  // namespace orvel::gui
