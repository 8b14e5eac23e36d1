// Faces and skin: every face number the window and the logic name is drawn, at the size
// its control has; the four skin images of each mode tile the whole window.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegion>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "gui/faces.h"
#include "gui/skin.h"
#include "gui_test_support.h"

namespace orvel::gui {
namespace {

TEST(Faces, EveryFaceTheLayoutAndTheLogicNameIsDrawn) {
    test::app();
    std::vector<int> numbers;
    for (const app::ControlLayout& c : app::main_controls_layout()) {
        if (c.face) numbers.push_back(c.face);
        if (c.pressed_face) numbers.push_back(c.pressed_face);
    }
    for (const app::PadButtonLayout& b : app::pad_buttons_layout()) {
        numbers.push_back(b.face);
        numbers.push_back(b.latching ? b.pressed_face : b.face + 1);
    }
    namespace bm = app::bitmap;
    for (int n : {bm::kSettingsPressed, bm::kExitPressed, bm::kMinimisePressed,
                  bm::kOpenFilePressed, bm::kConnectPressed, bm::kZoomWasActive, bm::kZoomNormal,
                  bm::kFastPlayOn, bm::kAudioHeard, bm::kSplit4Selected, bm::kSplit9Selected,
                  bm::kSplit16Selected, bm::kSplit25Selected, bm::kSplit36Selected, 253, 254}) {
        numbers.push_back(n);
    }
    for (int n : bm::kTreeImages) numbers.push_back(n);
    for (int n : numbers) {
        EXPECT_TRUE(face_known(n)) << n;
        const QPixmap pm = face_pixmap(n);
        ASSERT_FALSE(pm.isNull()) << n;
        // Not blank: some pixel is opaque (the "no image" tree slot 423 excepted).
        if (n == 423) continue;
        const QImage img = pm.toImage();
        bool drawn = false;
        for (int y = 0; y < img.height() && !drawn; ++y)
            for (int x = 0; x < img.width() && !drawn; ++x) drawn = qAlpha(img.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn) << n;
    }
    EXPECT_EQ(face_size(bm::kTreeImages[1]), QSize(13, 16));
}

TEST(Faces, DrawnAtTheSizeAskedForAndUnknownNumbersGiveABlankKey) {
    test::app();
    EXPECT_EQ(face_pixmap(app::bitmap::kExitPressed, QSize(60, 30)).size(), QSize(60, 30));
    EXPECT_EQ(face_pixmap(264, QSize(40, 20)).size(), QSize(40, 20));
    EXPECT_FALSE(face_known(12345));
    EXPECT_FALSE(face_pixmap(12345).isNull());
}

TEST(Skin, FourImagesOfEachModeCoverTheWholeWindowAtTheirPlaces) {
    test::app();
    for (auto kind : {view::ScreenModeKind::mode_1024, view::ScreenModeKind::mode_1280}) {
        const view::ScreenMode& s = view::screen_mode_for(kind);
        const app::SkinLayout layout = app::skin_layout(kind);
        QRegion covered;
        for (const app::SkinPiece& piece : layout.pieces) {
            EXPECT_EQ(skin_image_origin(piece.bitmap), QPoint(piece.x, piece.y)) << piece.bitmap;
            const QPixmap pm = face_pixmap(piece.bitmap);
            ASSERT_FALSE(pm.isNull());
            covered += QRect(QPoint(piece.x, piece.y), pm.size());
        }
        EXPECT_EQ(covered.boundingRect(), QRect(0, 0, s.window_width, s.window_height));
        // Painting the skin leaves no pixel of the window untouched.
        QImage img(s.window_width, s.window_height, QImage::Format_RGB32);
        img.fill(QColor(255, 0, 255));
        {
            QPainter p(&img);
            paint_skin(p, s.skin_base_bitmap);
        }
        int untouched = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) untouched += img.pixel(x, y) == qRgb(255, 0, 255);
        EXPECT_EQ(untouched, 0) << s.window_width;
    }
}

}  // namespace
}  // namespace orvel::gui
