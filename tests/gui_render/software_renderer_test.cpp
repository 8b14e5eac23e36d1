// The software path under the offscreen platform: pictures read back by grabbing the window.
#include "gui/render/software_renderer.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <vector>

#include "../support/fake_ports.h"
#include "codec/picture_limits.h"
#include "gui/render/gl_renderer.h"
#include "render_test_support.h"
#include "view/render/yuy2_convert.h"

namespace orvel::gui::render {
namespace {

constexpr QRgb kBackground = 0x102030;

class SoftwareRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(808, 657);
        window_.setAutoFillBackground(true);
        QPalette pal = window_.palette();
        pal.setColor(QPalette::Window, QColor(kBackground));
        window_.setPalette(pal);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        renderer_ = std::make_unique<SoftwareRenderer>(&window_);
    }

    QImage frame() {
        renderer_->refresh();
        return window_.grab().toImage();
    }

    static std::vector<uint8_t> bgrx_bars(int width, int height) {
        auto pic = test::yuy2_colour_bars(width, height);
        pic.resize(static_cast<size_t>(width) * height * 4);
        view::yuy2_to_bgrx(pic.data(), width, height);
        return pic;
    }

    static std::vector<uint8_t> bgrx_solid(int width, int height, QRgb colour) {
        std::vector<uint8_t> pic(static_cast<size_t>(width) * height * 4);
        for (size_t i = 0; i < pic.size(); i += 4) {
            pic[i] = static_cast<uint8_t>(qBlue(colour));
            pic[i + 1] = static_cast<uint8_t>(qGreen(colour));
            pic[i + 2] = static_cast<uint8_t>(qRed(colour));
            pic[i + 3] = 0;
        }
        return pic;
    }

    QWidget window_;
    std::unique_ptr<SoftwareRenderer> renderer_;
};

TEST_F(SoftwareRendererTest, CifPictureOfPaneZeroLandsAs403By327AtOneOne) {
    // Four panes on 808 x 657: pane 0 at (1, 1), 404 x 328 less the grid line.
    const auto pic = bgrx_solid(352, 288, 0x20c040);
    const platform::Rect dest{1, 1, 1 + 403, 1 + 327};
    renderer_->blit(0, pic.data(), 352, 288, dest, false, {}, steady_now_ns());
    const QImage image = frame();
    const QRect inside(1, 1, 403, 327);
    EXPECT_EQ(test::count_near(image, inside, 0x20c040, 0), 403 * 327);
    // The grid line around it stays the window's.
    EXPECT_EQ(image.pixel(0, 0) & 0xffffff, kBackground);
    EXPECT_EQ(image.pixel(404, 100) & 0xffffff, kBackground);
    EXPECT_EQ(image.pixel(100, 328) & 0xffffff, kBackground);
    EXPECT_EQ(renderer_->pane_counts(0).presented, 1u);
    EXPECT_EQ(renderer_->latency().total(), 1u);
}

TEST_F(SoftwareRendererTest, StretchIsNearestNeighbour) {
    // Eight bars stretched from 352 to 403 columns: every pixel is exactly one bar colour.
    const auto pic = bgrx_bars(352, 288);
    renderer_->blit(0, pic.data(), 352, 288, {1, 1, 404, 328}, false, {}, 0);
    const QImage image = frame();
    std::vector<QRgb> bar_colours;
    for (int x = 0; x < 352; x += 44) {
        uint32_t v = 0;
        std::memcpy(&v, &pic[static_cast<size_t>(x) * 4], 4);
        bar_colours.push_back(v & 0xffffff);
    }
    for (int x = 1; x < 404; ++x) {
        const QRgb px = image.pixel(x, 150) & 0xffffff;
        EXPECT_NE(std::find(bar_colours.begin(), bar_colours.end(), px), bar_colours.end())
            << "blended pixel at " << x;
        // Column x shows source column (x - 1) * 352 / 403.
        const int src = (x - 1) * 352 / 403;
        if ((src + 1) % 44 != 0 && src % 44 != 0) {
            EXPECT_EQ(px, bar_colours[static_cast<size_t>(src / 44)]) << x;
        }
    }
}

// A pane smaller than its picture (a 6 x 6 grid) gets the picture shrunk, still nearest
// neighbour: every pixel is a source pixel, column x from source column x * 352 / 133 and
// row y from source row y * 288 / 108, and nothing spills outside the pane.
TEST_F(SoftwareRendererTest, ShrinkIsNearestNeighbourInsideThePane) {
    std::vector<uint8_t> pic(352u * 288 * 4);
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 352; ++x) {
            uint8_t* p = &pic[(static_cast<size_t>(y) * 352 + x) * 4];
            p[0] = static_cast<uint8_t>(x);       // blue: column (low byte)
            p[1] = static_cast<uint8_t>(x >> 8);  // green: column (high bit)
            p[2] = static_cast<uint8_t>(y);       // red: row
            p[3] = 0;
        }
    const platform::Rect dest{136, 111, 136 + 133, 111 + 108};  // pane 7 of 6 x 6 on 808 x 657
    renderer_->blit(7, pic.data(), 352, 288, dest, false, {}, 0);
    const QImage image = frame();
    for (int y = 0; y < 108; y += 7)
        for (int x = 0; x < 133; ++x) {
            const QRgb px = image.pixel(136 + x, 111 + y);
            const int sx = x * 352 / 133, sy = y * 288 / 108;
            ASSERT_EQ(qBlue(px) | (qGreen(px) << 8), sx) << x << "," << y;
            ASSERT_EQ(qRed(px), sy & 0xff) << x << "," << y;
        }
    EXPECT_EQ(image.pixel(135, 150) & 0xffffff, kBackground);
    EXPECT_EQ(image.pixel(136 + 133, 150) & 0xffffff, kBackground);
    EXPECT_EQ(image.pixel(200, 111 + 108) & 0xffffff, kBackground);
}

TEST_F(SoftwareRendererTest, RecIsRedInsideItsBox) {
    const auto pic = bgrx_solid(352, 288, 0x404040);
    const platform::Rect dest{405, 1, 808, 328};
    const platform::Rect rec_box{405 + 404 - 60, 1, 405 + 404 - 10, 26};
    renderer_->blit(1, pic.data(), 352, 288, dest, false, rec_box, 0);
    const QImage image = frame();
    const QRect box(rec_box.left, rec_box.top, rec_box.width(), rec_box.height());
    EXPECT_GT(test::count_near(image, box, qRgb(255, 0, 0), 60), 10);
    EXPECT_EQ(test::count_near(image, QRect(405, 40, 403, 280), qRgb(255, 0, 0), 60), 0);
}

TEST_F(SoftwareRendererTest, FullViewPictureReplacesTheOthersAndLeavingRestoresTheGrid) {
    const auto a = bgrx_solid(352, 288, 0xa00000);
    const auto b = bgrx_solid(352, 288, 0x0000a0);
    renderer_->blit(0, a.data(), 352, 288, {1, 1, 404, 328}, false, {}, 0);
    renderer_->blit(3, b.data(), 352, 288, {405, 329, 808, 656}, false, {}, 0);
    frame();
    // Pane 3 enlarged over the whole video area.
    renderer_->blit(3, b.data(), 352, 288, {0, 0, 808, 657}, false, {}, 0);
    QImage image = frame();
    EXPECT_EQ(image.pixel(100, 100) & 0xffffff, 0x0000a0u);
    // Back to its own rectangle: the rest of the window is the window's again until the other
    // panes draw.
    renderer_->blit(3, b.data(), 352, 288, {405, 329, 808, 656}, false, {}, 0);
    image = frame();
    EXPECT_EQ(image.pixel(100, 100) & 0xffffff, kBackground);
    EXPECT_EQ(image.pixel(600, 500) & 0xffffff, 0x0000a0u);
    renderer_->blit(0, a.data(), 352, 288, {1, 1, 404, 328}, false, {}, 0);
    image = frame();
    EXPECT_EQ(image.pixel(100, 100) & 0xffffff, 0xa00000u);
}

TEST_F(SoftwareRendererTest, ClearPanesShowsTheWindowAgain) {
    const auto a = bgrx_solid(176, 144, 0x00a000);
    renderer_->blit(5, a.data(), 176, 144, {100, 100, 300, 300}, false, {}, 0);
    EXPECT_EQ(frame().pixel(150, 150) & 0xffffff, 0x00a000u);
    renderer_->clear_panes();
    EXPECT_EQ(frame().pixel(150, 150) & 0xffffff, kBackground);
}

TEST_F(SoftwareRendererTest, FullScreenTargetDrawsOnTheFullScreenWindowOnly) {
    QWidget full;
    full.resize(1024, 768);
    full.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&full));
    renderer_->set_full_screen_window(&full);
    const auto a = bgrx_solid(352, 288, 0xc0c000);
    renderer_->blit(0, a.data(), 352, 288, {1, 1, 512, 384}, true, {}, 0);
    renderer_->refresh();
    EXPECT_EQ(full.grab().toImage().pixel(200, 200) & 0xffffff, 0xc0c000u);
    EXPECT_EQ(window_.grab().toImage().pixel(200, 200) & 0xffffff, kBackground);
    renderer_->set_full_screen_window(nullptr);
}

TEST_F(SoftwareRendererTest, BadInputIsDropped) {
    const auto a = bgrx_solid(16, 16, 0xffffff);
    renderer_->blit(-1, a.data(), 16, 16, {0, 0, 10, 10}, false, {}, 0);
    renderer_->blit(36, a.data(), 16, 16, {0, 0, 10, 10}, false, {}, 0);
    renderer_->blit(0, nullptr, 16, 16, {0, 0, 10, 10}, false, {}, 0);
    renderer_->blit(0, a.data(), 0, 16, {0, 0, 10, 10}, false, {}, 0);
    renderer_->blit(0, a.data(), 16, 16, {10, 10, 10, 20}, false, {}, 0);  // empty destination
    renderer_->blit(0, a.data(), codec::kMaxPictureWidth + 1, 1, {0, 0, 10, 10}, false, {}, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 0u);
    EXPECT_EQ(frame().pixel(5, 5) & 0xffffff, kBackground);
}

// Without any OpenGL (the offscreen platform) the GPU path reports its device failure and
// then refuses everything quietly.
TEST(GlRendererWithoutDevice, ReportsCreateDeviceFailed) {
    QWidget window;
    window.resize(400, 300);
    test::FakeMessageBox boxes;
    GlRenderer renderer(&window, boxes);
    if (renderer.renderer_create()) GTEST_SKIP() << "this platform has OpenGL";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "create device failed");
    EXPECT_EQ(boxes.shown[0].caption, "");
    const platform::Rect rects[4] = {};
    EXPECT_FALSE(renderer.renderer_build_panes(4, rects));
    const std::vector<uint8_t> pic(352 * 288 * 2);
    renderer.draw_pane(pic.data(), 0, "x", false, 0);
    EXPECT_EQ(renderer.pane_counts(0).drawn, 0u);
}

}  // namespace
}  // namespace orvel::gui::render
