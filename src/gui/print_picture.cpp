#include "gui/print_picture.h"

#include <QPainter>
#include <QPrinter>

namespace orvel::gui {

void paint_print_page(QPainter& painter, const QImage& picture) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, kPrintScale * picture.width(), kPrintScale * picture.height()),
                      picture);
}

bool print_picture(QPrinter& printer, const QImage& picture) {
    if (picture.isNull()) return false;
    printer.setDocName(QStringLiteral("bmp"));
    printer.setCopyCount(1);
    printer.setFromTo(1, 1);
    printer.setFullPage(false);  // origin at the printable area's top-left corner
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    paint_print_page(painter, picture);
    return painter.end();
}

QImage image_from_bmp(const std::vector<uint8_t>& bmp) {
    return QImage::fromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
}

}  // namespace orvel::gui
