#include "view/render/yuy2_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace orvel::view {
namespace {

// The equations written out once more, independently of the routine under test.
void expected_pixel(int y, int u, int v, uint8_t out[4]) {
    auto clamp = [](float f) {
        int i = static_cast<int>(f);
        return static_cast<uint8_t>(i < 0 ? 0 : i > 255 ? 255 : i);
    };
    const float fu = static_cast<float>(u - 128), fv = static_cast<float>(v - 128);
    const float fy = static_cast<float>(y);
    out[0] = clamp(fy + 1.772f * fu);
    out[1] = clamp((fy - 0.34414f * fu) - 0.71414f * fv);
    out[2] = clamp(fy + 1.402f * fv);
    out[3] = 0;
}

TEST(Yuy2ToBgrx, KnownColours) {
    struct Case {
        uint8_t y, u, v;
        uint8_t b, g, r;
    } cases[] = {
        {235, 128, 128, 235, 235, 235},                        // white stays grey-level
        {16, 128, 128, 16, 16, 16},     {0, 0, 0, 0, 135, 0},  // negative blue and red clamp to 0
        {255, 255, 255, 255, 120, 255},  // saturated blue and red clamp to 255
        {81, 90, 240, 13, 14, 238},      // a red
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> pic = {c.y, c.u, c.y, c.v, 0, 0, 0, 0};
        yuy2_to_bgrx(pic.data(), 2, 1);
        EXPECT_EQ(pic[0], c.b) << int(c.y) << "," << int(c.u) << "," << int(c.v);
        EXPECT_EQ(pic[1], c.g) << int(c.y) << "," << int(c.u) << "," << int(c.v);
        EXPECT_EQ(pic[2], c.r) << int(c.y) << "," << int(c.u) << "," << int(c.v);
        EXPECT_EQ(pic[3], 0);
        EXPECT_EQ(0, memcmp(pic.data(), pic.data() + 4, 4));
    }
}

// Both vector block kinds (AVX2 where the processor has it, SSE2 always) are checked.
class Yuy2Blocks : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!yuy2_convert_allow_avx2(GetParam()) && GetParam())
            GTEST_SKIP() << "no AVX2 on this processor";
    }
    void TearDown() override { yuy2_convert_allow_avx2(true); }
};
INSTANTIATE_TEST_SUITE_P(Blocks, Yuy2Blocks, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "avx2" : "sse2"; });

// Every (Y, U, V) combination through the vector path equals the equations.
TEST_P(Yuy2Blocks, EveryInputMatchesTheEquations) {
    const int width = 512;  // 256 pairs per row: one row per (Y, U) with V running
    std::vector<uint8_t> src(static_cast<size_t>(width) * 2 * 256);
    std::vector<uint8_t> dst(static_cast<size_t>(width) * 4 * 256);
    for (int y = 0; y < 256; ++y) {
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                uint8_t* p = &src[(static_cast<size_t>(u) * 256 + v) * 4];
                p[0] = static_cast<uint8_t>(y);
                p[1] = static_cast<uint8_t>(u);
                p[2] = static_cast<uint8_t>(255 - y);
                p[3] = static_cast<uint8_t>(v);
            }
        }
        yuy2_to_bgrx_copy(src.data(), dst.data(), width, 256);
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                const uint8_t* q = &dst[(static_cast<size_t>(u) * 256 + v) * 8];
                uint8_t e0[4], e1[4];
                expected_pixel(y, u, v, e0);
                expected_pixel(255 - y, u, v, e1);
                ASSERT_EQ(0, memcmp(q, e0, 4)) << y << " " << u << " " << v;
                ASSERT_EQ(0, memcmp(q + 4, e1, 4)) << 255 - y << " " << u << " " << v;
            }
        }
    }
}

// In-place conversion equals the copying one for widths with and without a vector tail.
TEST_P(Yuy2Blocks, InPlaceEqualsCopyForAnyWidth) {
    std::mt19937 rng(7);
    for (int width : {2, 4, 6, 8, 14, 16, 18, 30, 32, 34, 320, 352, 354, 704, 1280}) {
        const int height = 5;
        std::vector<uint8_t> src(static_cast<size_t>(width) * height * 2);
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> expected(static_cast<size_t>(width) * height * 4);
        for (size_t i = 0; i < src.size() / 4; ++i)
            yuy2_pair_to_bgrx(&src[i * 4], &expected[i * 8]);
        std::vector<uint8_t> copied(expected.size());
        yuy2_to_bgrx_copy(src.data(), copied.data(), width, height);
        EXPECT_EQ(copied, expected) << "width " << width;
        std::vector<uint8_t> in_place(expected.size());
        std::copy(src.begin(), src.end(), in_place.begin());
        yuy2_to_bgrx(in_place.data(), width, height);
        EXPECT_EQ(in_place, expected) << "width " << width;
    }
}

TEST(Yuy2ToBgrx, DegenerateSizesTouchNothing) {
    std::vector<uint8_t> pic(16, 0xAB);
    yuy2_to_bgrx(pic.data(), 0, 4);
    yuy2_to_bgrx(pic.data(), 1, 4);
    yuy2_to_bgrx(pic.data(), 4, 0);
    yuy2_to_bgrx(nullptr, 4, 4);
    EXPECT_EQ(pic, std::vector<uint8_t>(16, 0xAB));
}

}  // namespace
}  // namespace orvel::view
