// The GPU path on a real GL device (Xvfb with Mesa): pictures read back from the framebuffer.
#include "gui/render/gl_renderer.h"

#include <gtest/gtest.h>

#include <QOpenGLWidget>
#include <QTest>
#include <QWidget>
#include <array>
#include <thread>

#include "../support/fake_ports.h"
#include "gui/render/pane_store.h"
#include "render_test_support.h"

namespace orvel::gui::render {
namespace {

constexpr int kWindowWidth = 808;
constexpr int kWindowHeight = 657;

class GlRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(kWindowWidth, kWindowHeight);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        renderer_ = std::make_unique<GlRenderer>(&window_, boxes_);
        if (!renderer_->renderer_create()) GTEST_SKIP() << "no OpenGL device on this display";
        ASSERT_TRUE(boxes_.shown.empty());
    }

    // Pane rectangles of an n x n grid, as the layout code computes them for the GPU path.
    std::array<platform::Rect, 36> grid(int n) const {
        std::array<platform::Rect, 36> rects{};
        const int w = kWindowWidth / n, h = kWindowHeight / n;
        for (int p = 0; p < n * n; ++p)
            rects[p] = {(p % n) * w, (p / n) * h, (p % n + 1) * w, (p / n + 1) * h};
        return rects;
    }

    void build(int n, int width = 352, int height = 288) {
        for (int p = 0; p < n * n; ++p) renderer_->set_pane_picture_size(width, height, p);
        rects_ = grid(n);
        ASSERT_TRUE(renderer_->renderer_build_panes(n * n, rects_.data()));
    }

    void colour_bars_in_pane_zero();

    QImage frame() {
        renderer_->refresh();
        auto* gl = static_cast<QOpenGLWidget*>(renderer_->widget());
        return gl->grabFramebuffer();
    }

    QWidget window_;
    test::FakeMessageBox boxes_;
    std::unique_ptr<GlRenderer> renderer_;
    std::array<platform::Rect, 36> rects_{};
};

std::vector<uint8_t> grey_picture(int width, int height) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 2, 128);
    return p;
}

TEST_F(GlRendererTest, ColourBarsFillPaneZeroAndNothingElse) {
    // The device's own choice of upload form first, then the other one.
    const bool chosen = renderer_->takes_bgrx_pictures();
    for (const bool bgrx : {chosen, !chosen}) {
        SCOPED_TRACE(bgrx ? "BGRX upload" : "YUY2 upload");
        renderer_->use_bgrx_pictures(bgrx);
        renderer_->reset_stats();
        colour_bars_in_pane_zero();
    }
}

void GlRendererTest::colour_bars_in_pane_zero() {
    build(2);
    const auto bars = test::yuy2_colour_bars(352, 288);
    renderer_->draw_pane(bars.data(), 0, "", false, steady_now_ns());
    const QImage image = frame();
    ASSERT_EQ(image.width(), kWindowWidth);
    const platform::Rect r = rects_[0];
    for (int bar = 0; bar < 8; ++bar) {
        const int x = r.left + (2 * bar + 1) * r.width() / 16;
        for (int y : {60, 160, 300})
            EXPECT_TRUE(test::near_colour(image.pixel(x, y), test::bar_colour(bar), 8))
                << "bar " << bar << " at " << x << "," << y << ": " << std::hex
                << image.pixel(x, y);
    }
    // Panes without a picture stay transparent, so the video window shows through.
    EXPECT_EQ(qAlpha(image.pixel(600, 100)), 0);
    EXPECT_EQ(qAlpha(image.pixel(100, 500)), 0);
    EXPECT_EQ(qAlpha(image.pixel(r.left + 5, r.top + 100)), 255);

    const view::PaneFrameCounts counts = renderer_->pane_counts(0);
    EXPECT_EQ(counts.drawn, 1u);
    EXPECT_EQ(counts.presented, 1u);
    EXPECT_EQ(renderer_->latency().total(), 1u);
}

TEST_F(GlRendererTest, PanesUpdateIndependently) {
    build(2);
    const auto bars = test::yuy2_colour_bars(352, 288);
    renderer_->draw_pane(bars.data(), 0, "", false, 0);
    frame();
    // Only pane 3 draws now; pane 0 keeps its picture without being uploaded again.
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 3, "", false, 0);
    const QImage image = frame();
    EXPECT_EQ(renderer_->pane_counts(0).presented, 1u);
    EXPECT_EQ(renderer_->pane_counts(3).presented, 1u);
    EXPECT_TRUE(test::near_colour(image.pixel(rects_[0].left + 10, 200), test::bar_colour(0), 8));
    EXPECT_TRUE(test::near_colour(image.pixel(600, 500), qRgb(128, 128, 128), 3));
}

TEST_F(GlRendererTest, CaptionIsGreenAndRecIsRedInTheirPaneCorners) {
    build(2);
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 3, "Cam 04--Yard", true, 0);
    const QImage image = frame();
    const platform::Rect r = rects_[3];
    const QRect caption_box(r.left, r.top, 300, 50);
    const QRect rec_box(r.right - 100, r.top, 90, 50);
    EXPECT_GT(test::count_near(image, caption_box, qRgb(0, 255, 0), 90), 20);
    EXPECT_GT(test::count_near(image, rec_box, qRgb(255, 0, 0), 90), 10);
    // Nothing green or red below the text boxes.
    const QRect below(r.left, r.top + 60, r.width(), r.height() - 60);
    EXPECT_EQ(test::count_near(image, below, qRgb(0, 255, 0), 90), 0);
    EXPECT_EQ(test::count_near(image, below, qRgb(255, 0, 0), 90), 0);
}

// 36 panes of about 134 pixels: a long caption is elided before "REC", not drawn under it.
TEST_F(GlRendererTest, LongCaptionEndsBeforeRecInASmallPane) {
    build(6);
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 7, "Cam 08--Loading dock north gate", true, 0);
    const QImage image = frame();
    const platform::Rect r = rects_[7];
    const QRect top(r.left, r.top, r.width(), 30);
    int rec_left = r.right;
    for (int y = top.top(); y <= top.bottom(); ++y)
        for (int x = top.left(); x <= top.right(); ++x)
            if (test::near_colour(image.pixel(x, y), qRgb(255, 0, 0), 90))
                rec_left = std::min(rec_left, x);
    ASSERT_LT(rec_left, r.right) << "REC is drawn";
    EXPECT_GT(
        test::count_near(image, QRect(r.left, r.top, rec_left - r.left, 30), qRgb(0, 255, 0), 90),
        20)
        << "the caption's start shows";
    EXPECT_EQ(test::count_near(image, QRect(rec_left, r.top, r.right - rec_left, 30),
                               qRgb(0, 255, 0), 90),
              0);
}

// The selected pane's frame shows over pictures and follows the selection; the pictures
// under the old frame come back whole.
TEST_F(GlRendererTest, SelectionFrameIsDrawnOverPicturesAndMoves) {
    build(2);
    const auto grey = grey_picture(352, 288);
    for (int pane = 0; pane < 4; ++pane) renderer_->draw_pane(grey.data(), pane, "", false, 0);
    frame();
    const QRgb orange = qRgb(200, 100, 60);
    const platform::Rect r0 = rects_[0];
    renderer_->set_selection_frame(QRect(r0.left + 1, r0.top + 1, r0.width() - 2, r0.height() - 2),
                                   orange);
    QImage image = frame();
    EXPECT_TRUE(test::near_colour(image.pixel(r0.left + 1, r0.top + 100), orange, 3));
    EXPECT_TRUE(test::near_colour(image.pixel(r0.left + 100, r0.top + 1), orange, 3));
    const platform::Rect r3 = rects_[3];
    renderer_->set_selection_frame(QRect(r3.left + 1, r3.top + 1, r3.width() - 2, r3.height() - 2),
                                   orange);
    image = frame();
    EXPECT_TRUE(test::near_colour(image.pixel(r3.left + 1, r3.top + 100), orange, 3));
    EXPECT_TRUE(test::near_colour(image.pixel(r0.left + 1, r0.top + 100), qRgb(128, 128, 128), 3));
    renderer_->set_selection_frame(QRect(), orange);
    image = frame();
    EXPECT_TRUE(test::near_colour(image.pixel(r3.left + 1, r3.top + 100), qRgb(128, 128, 128), 3));
}

TEST_F(GlRendererTest, FullViewShowsOnlyTheCurrentPaneOverTheWholeWindow) {
    build(2);
    const auto bars = test::yuy2_colour_bars(352, 288);
    ASSERT_TRUE(renderer_->toggle_pane_full_view(1));
    EXPECT_TRUE(renderer_->pane_full_view());
    EXPECT_EQ(renderer_->current_pane(), 1);
    renderer_->draw_pane(bars.data(), 0, "", false, 0);  // not the current pane: ignored
    renderer_->draw_pane(bars.data(), 1, "", false, 0);
    QImage image = frame();
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 0u);
    for (int bar = 0; bar < 8; ++bar) {
        const int x = (2 * bar + 1) * kWindowWidth / 16;
        EXPECT_TRUE(test::near_colour(image.pixel(x, 600), test::bar_colour(bar), 8)) << bar;
    }

    ASSERT_TRUE(renderer_->toggle_pane_full_view(1));
    EXPECT_FALSE(renderer_->pane_full_view());
    image = frame();
    // Back in the grid: pane 1 in its own rectangle, the rest of the window clear.
    EXPECT_TRUE(test::near_colour(image.pixel(rects_[1].left + 10, 100), test::bar_colour(0), 8));
    EXPECT_EQ(qAlpha(image.pixel(100, 100)), 0);
    EXPECT_EQ(qAlpha(image.pixel(600, 500)), 0);
}

TEST_F(GlRendererTest, DigitalZoomShowsOnlyPartOfTheEnlargedPicture) {
    build(2);
    const auto bars = test::yuy2_colour_bars(352, 288);
    ASSERT_TRUE(renderer_->toggle_pane_full_view(1));
    // 8x about the middle of the left edge: only the first bar (44 of 352 columns) shows.
    view::DigitalZoom zoom;
    ASSERT_TRUE(zoom.wheel(8, 0.0, 0.5));
    renderer_->set_zoom(zoom);
    renderer_->draw_pane(bars.data(), 1, "", false, 0);
    QImage image = frame();
    for (int x : {20, kWindowWidth / 2, kWindowWidth - 20})
        EXPECT_TRUE(test::near_colour(image.pixel(x, 300), test::bar_colour(0), 8)) << x;
    // Dragged as far left as it goes: the last bar fills the window.
    zoom.drag(-50, 0);
    renderer_->set_zoom(zoom);
    image = frame();
    for (int x : {20, kWindowWidth - 20})
        EXPECT_TRUE(test::near_colour(image.pixel(x, 300), test::bar_colour(7), 8)) << x;
    // Leaving and entering the full view starts from the whole picture again.
    ASSERT_TRUE(renderer_->toggle_pane_full_view(1));
    ASSERT_TRUE(renderer_->toggle_pane_full_view(1));
    renderer_->draw_pane(bars.data(), 1, "", false, 0);
    image = frame();
    EXPECT_TRUE(test::near_colour(image.pixel(20, 300), test::bar_colour(0), 8));
    EXPECT_TRUE(test::near_colour(image.pixel(kWindowWidth - 20, 300), test::bar_colour(7), 8));
}

TEST_F(GlRendererTest, MainStreamPictureFillsTheFullViewWithItsTime) {
    build(2);
    ASSERT_TRUE(renderer_->toggle_pane_full_view(2));
    const auto bars = test::yuy2_colour_bars(960, 720);
    // 26-12-08 10:59:59
    const uint32_t packed = 26u | (12u << 6) | (8u << 10) | (10u << 15) | (59u << 20) | (59u << 26);
    renderer_->draw_high_res(bars.data(), 2, 960, 720, packed, "Cam 03", 0);
    // Sizes outside the set and other panes are refused.
    const std::vector<uint8_t> big(1920 * 1080 * 2, 0);
    renderer_->draw_high_res(big.data(), 2, 1920, 1080, packed, "", 0);
    renderer_->draw_high_res(bars.data(), 1, 960, 720, packed, "", 0);
    const QImage image = frame();
    EXPECT_EQ(renderer_->pane_counts(view::kHighResStatsPane).drawn, 1u);
    EXPECT_TRUE(test::near_colour(image.pixel(30, 400), test::bar_colour(0), 8));
    EXPECT_TRUE(test::near_colour(image.pixel(kWindowWidth - 20, 400), test::bar_colour(7), 8));
    // The time, white, at the bottom right over the black bar.
    const QRect time_box(kWindowWidth - 100, kWindowHeight - 30, 100, 30);
    EXPECT_GT(test::count_near(image, time_box, qRgb(255, 255, 255), 60), 10);
}

TEST_F(GlRendererTest, PaneBeyondTheTextureLimitFailsWithItsMessage) {
    renderer_->set_pane_picture_size(352, renderer_->max_texture_size() + 2, 0);
    const auto rects = grid(2);
    EXPECT_FALSE(renderer_->renderer_build_panes(4, rects.data()));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "create surface failed");
    EXPECT_EQ(boxes_.shown[0].caption, "");
}

TEST_F(GlRendererTest, WorkerSurfaceFailureIsShownLaterWithoutBlockingIt) {
    build(2);
    renderer_->set_pane_picture_size(8000, 8000, 1);
    bool created = true;
    std::thread worker([&] { created = renderer_->create_pane_surface(1); });
    worker.join();
    EXPECT_FALSE(created);
    EXPECT_TRUE(boxes_.shown.empty());
    renderer_->refresh();
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "create surface failed");
    // The pane then draws nothing, whatever size the caller believes in.
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 1, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(1).drawn, 0u);
}

TEST_F(GlRendererTest, PictureSizeChangeWaitsForItsSurface) {
    build(2);
    // The stream header announced 704 x 576; until the surface is made a 704 picture would
    // overrun the 352 x 288 one, so it is dropped.
    renderer_->set_pane_picture_size(704, 576, 0);
    const auto big = grey_picture(704, 576);
    renderer_->draw_pane(big.data(), 0, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 0u);
    ASSERT_TRUE(renderer_->create_pane_surface(0));
    renderer_->draw_pane(big.data(), 0, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 1u);
    const QImage image = frame();
    EXPECT_TRUE(test::near_colour(image.pixel(200, 200), qRgb(128, 128, 128), 3));
    // A zero size means the default picture.
    renderer_->set_pane_picture_size(0, 0, 0);
    ASSERT_TRUE(renderer_->create_pane_surface(0));
    const auto cif = grey_picture(352, 288);
    renderer_->draw_pane(cif.data(), 0, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 2u);
}

TEST_F(GlRendererTest, ReleasingPaneSurfacesClearsTheScreenForTheSoftwarePath) {
    build(2);
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 0, "", false, 0);
    EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 255);
    renderer_->release_pane_surfaces();
    renderer_->draw_pane(grey.data(), 0, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 1u);
    EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 0);
}

TEST_F(GlRendererTest, EachWindowKeepsItsWidgetAndShowsNoPictureFromItsLastUse) {
    build(2);
    const auto bars = test::yuy2_colour_bars(352, 288);
    renderer_->draw_pane(bars.data(), 0, "", false, 0);
    EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 255);
    QWidget* const in_video_window = renderer_->widget();

    QWidget full_screen;
    full_screen.resize(kWindowWidth, kWindowHeight);
    full_screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&full_screen));
    renderer_->set_full_screen_window(&full_screen);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        renderer_->set_device_window(true);
        ASSERT_TRUE(renderer_->renderer_create());
        build(2);
        EXPECT_EQ(renderer_->widget()->parentWidget(), &full_screen);
        EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 0) << "pane 0 has drawn nothing here yet";
        renderer_->draw_pane(bars.data(), 0, "", false, 0);
        EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 255);

        // Back in the video window: the same widget again, without its old picture.
        renderer_->set_device_window(false);
        ASSERT_TRUE(renderer_->renderer_create());
        build(2);
        EXPECT_EQ(renderer_->widget(), in_video_window);
        EXPECT_EQ(qAlpha(frame().pixel(100, 100)), 0);
        renderer_->draw_pane(bars.data(), 0, "", false, 0);
        EXPECT_TRUE(test::near_colour(frame().pixel(rects_[0].left + 10, 200),
                                      test::bar_colour(0), 8));
    }
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(GlRendererTest, ReleaseStopsDrawing) {
    build(2);
    renderer_->renderer_release();
    EXPECT_EQ(renderer_->widget(), nullptr);
    const auto grey = grey_picture(352, 288);
    renderer_->draw_pane(grey.data(), 0, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(0).drawn, 0u);
    // And it can be made again.
    ASSERT_TRUE(renderer_->renderer_create());
    build(3);
    renderer_->draw_pane(grey.data(), 8, "", false, 0);
    EXPECT_EQ(renderer_->pane_counts(8).drawn, 1u);
}

}  // namespace
}  // namespace orvel::gui::render
