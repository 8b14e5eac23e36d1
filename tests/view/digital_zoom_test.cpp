// The enlarged pane's digital zoom: the wheel zooms about the cursor, a drag pans, and the
// shown part never leaves the picture.
#include "view/digital_zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace orvel::view {
namespace {

constexpr double kW = 960, kH = 720;

// The picture point shown at a fraction (fx, fy) of the pane.
std::pair<double, double> picture_point(const DigitalZoom& z, double fx, double fy) {
    const SourceRect r = z.source_rect(kW, kH);
    return {r.left + fx * r.width, r.top + fy * r.height};
}

void expect_inside_picture(const DigitalZoom& z) {
    const SourceRect r = z.source_rect(kW, kH);
    EXPECT_GE(r.left, -1e-9);
    EXPECT_GE(r.top, -1e-9);
    EXPECT_LE(r.left + r.width, kW + 1e-9);
    EXPECT_LE(r.top + r.height, kH + 1e-9);
    EXPECT_NEAR(r.width, kW / z.factor(), 1e-9);
    EXPECT_NEAR(r.height, kH / z.factor(), 1e-9);
}

TEST(DigitalZoom, OneTimesIsTheWholePictureAndDragDoesNothingThere) {
    DigitalZoom z;
    EXPECT_FALSE(z.zoomed());
    EXPECT_FALSE(z.drag(0.3, -0.2));
    EXPECT_FALSE(z.wheel(-3, 0.2, 0.2));  // already as far out as it goes
    const SourceRect r = z.source_rect(kW, kH);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.width, kW);
    EXPECT_EQ(r.height, kH);
}

TEST(DigitalZoom, ThePointUnderTheCursorStaysUnderItWhileZooming) {
    DigitalZoom z;
    const double fx = 0.3, fy = 0.6;
    const auto before = picture_point(z, fx, fy);
    for (int notch = 0; notch < 4; ++notch) {
        ASSERT_TRUE(z.wheel(1, fx, fy));
        const auto now = picture_point(z, fx, fy);
        EXPECT_NEAR(now.first, before.first, 1e-6);
        EXPECT_NEAR(now.second, before.second, 1e-6);
    }
    EXPECT_NEAR(z.factor(), std::sqrt(8.0), 1e-9);  // four of eight notches to 8x
    // Elsewhere, zoomed in, the same holds on the way back out.
    const auto other = picture_point(z, 0.7, 0.4);
    ASSERT_TRUE(z.wheel(-1, 0.7, 0.4));
    EXPECT_NEAR(picture_point(z, 0.7, 0.4).first, other.first, 1e-6);
    EXPECT_NEAR(picture_point(z, 0.7, 0.4).second, other.second, 1e-6);
}

TEST(DigitalZoom, StopsAtEightTimesAndComesBackToTheWholePicture) {
    DigitalZoom z;
    EXPECT_TRUE(z.wheel(100, 0.9, 0.1));
    EXPECT_EQ(z.factor(), DigitalZoom::kMaxFactor);
    EXPECT_FALSE(z.wheel(1, 0.5, 0.5));
    expect_inside_picture(z);
    for (int notch = 0; notch < 8; ++notch) z.wheel(-1, 0.2, 0.8);
    EXPECT_FALSE(z.zoomed());
    const SourceRect r = z.source_rect(kW, kH);
    EXPECT_NEAR(r.left, 0, 1e-9);
    EXPECT_NEAR(r.top, 0, 1e-9);
    EXPECT_NEAR(r.width, kW, 1e-9);
}

TEST(DigitalZoom, DragPansWithTheCursorAndStopsAtTheEdges) {
    DigitalZoom z;
    z.wheel(8, 0.5, 0.5);  // 8x about the centre
    const SourceRect centred = z.source_rect(kW, kH);
    EXPECT_NEAR(centred.left, (kW - kW / 8) / 2, 1e-6);
    // A drag by a tenth of the pane to the right shows what lay a tenth of the view to the left.
    ASSERT_TRUE(z.drag(0.1, 0));
    EXPECT_NEAR(z.source_rect(kW, kH).left, centred.left - 0.1 * kW / 8, 1e-6);
    // Far past the top-left corner: the view rests on it.
    EXPECT_TRUE(z.drag(50, 50));
    EXPECT_NEAR(z.source_rect(kW, kH).left, 0, 1e-9);
    EXPECT_NEAR(z.source_rect(kW, kH).top, 0, 1e-9);
    EXPECT_FALSE(z.drag(1, 1));  // nothing further to show
    EXPECT_TRUE(z.drag(-50, -50));
    const SourceRect r = z.source_rect(kW, kH);
    EXPECT_NEAR(r.left + r.width, kW, 1e-9);
    EXPECT_NEAR(r.top + r.height, kH, 1e-9);
    // Zooming about a corner keeps the corner in view.
    DigitalZoom corner;
    corner.wheel(3, 0, 1);
    EXPECT_NEAR(corner.source_rect(kW, kH).left, 0, 1e-9);
    EXPECT_NEAR(corner.source_rect(kW, kH).top + corner.source_rect(kW, kH).height, kH, 1e-9);
}

TEST(DigitalZoom, NoSequenceOfWheelsAndDragsLeavesThePicture) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> frac(-0.2, 1.2), move(-2, 2);
    std::uniform_int_distribution<int> notches(-3, 4);
    DigitalZoom z;
    for (int i = 0; i < 2000; ++i) {
        if (i % 2 == 0)
            z.wheel(notches(rng), frac(rng), frac(rng));
        else
            z.drag(move(rng), move(rng));
        ASSERT_GE(z.factor(), DigitalZoom::kMinFactor);
        ASSERT_LE(z.factor(), DigitalZoom::kMaxFactor);
        expect_inside_picture(z);
    }
    z.reset();
    EXPECT_EQ(z, DigitalZoom{});
}

}  // namespace
}  // namespace orvel::view
