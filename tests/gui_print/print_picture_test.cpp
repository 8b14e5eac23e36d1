// The printed page: the snapshot picture six times its size from the top-left corner.
#include "gui/print_picture.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>

#include "../support/temp_dir.h"
#include "media/bmp.h"

namespace orvel::gui {
namespace {

// A 4 x 2 YUY2 picture: the left pair of each row bright, the right pair dark.
QImage test_picture() {
    const std::vector<uint8_t> yuy2 = {235, 128, 235, 128, 16, 128, 16, 128,
                                       235, 128, 235, 128, 16, 128, 16, 128};
    std::vector<uint8_t> bmp;
    EXPECT_TRUE(media::bmp_from_yuy2(yuy2.data(), yuy2.size(), 4, 2, bmp));
    return image_from_bmp(bmp);
}

TEST(PrintPicture, ThePageShowsThePictureSixTimesItsSizeFromTheTopLeft) {
    const QImage picture = test_picture();
    ASSERT_EQ(picture.size(), QSize(4, 2));
    QImage page(100, 100, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        paint_print_page(painter, picture);
    }
    EXPECT_EQ(page.pixelColor(0, 0), QColor(235, 235, 235));
    EXPECT_EQ(page.pixelColor(11, 11), QColor(235, 235, 235));  // bright: columns 0-11
    EXPECT_EQ(page.pixelColor(12, 0), QColor(16, 16, 16));      // dark from column 12
    EXPECT_EQ(page.pixelColor(23, 11), QColor(16, 16, 16));
    EXPECT_EQ(page.pixelColor(24, 0), QColor(Qt::white));  // 6 x 4 = 24 pixels wide
    EXPECT_EQ(page.pixelColor(0, 12), QColor(Qt::white));  // 6 x 2 = 12 pixels high
}

TEST(PrintPicture, APdfPrinterGetsOnePageWithThePicture) {
    orvel::test::TempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("page.pdf").string()));
    ASSERT_TRUE(print_picture(printer, test_picture()));
    EXPECT_EQ(printer.docName(), "bmp");
    const std::string pdf = orvel::test::TempDir::read(dir.file("page.pdf"));
    ASSERT_EQ(pdf.rfind("%PDF", 0), 0u);
    std::size_t pages = 0;
    for (std::size_t at = pdf.find("/Type /Page\n"); at != std::string::npos;
         at = pdf.find("/Type /Page\n", at + 1))
        ++pages;
    EXPECT_EQ(pages, 1u);
    EXPECT_NE(pdf.find("/Width 4"), std::string::npos);

    QPrinter unused;
    EXPECT_FALSE(print_picture(unused, QImage()));
}

}  // namespace
}  // namespace orvel::gui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
