// The software path's one-pass conversion against the long way round: every pixel converted
// by the reference routine, the stamp burned into the whole converted picture, then shrunk by
// the nearest-neighbour rule.
#include "pane/software_picture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "view/render/yuy2_convert.h"

namespace orvel::pane {
namespace {

std::vector<uint8_t> random_yuy2(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 2);
    for (auto& b : p) b = static_cast<uint8_t>(rng());
    return p;
}

std::vector<uint8_t> long_way(const std::vector<uint8_t>& yuy2, int width, int height, int out_w,
                              int out_h, const view::StampState& stamp) {
    std::vector<uint8_t> full(static_cast<size_t>(width) * height * 4);
    for (size_t pair = 0; pair < yuy2.size() / 4; ++pair)
        view::yuy2_pair_to_bgrx(&yuy2[pair * 4], &full[pair * 8]);
    view::stamp_apply(stamp, full.data());
    std::vector<uint8_t> out(static_cast<size_t>(out_w) * out_h * 4);
    for (int y = 0; y < out_h; ++y)
        for (int x = 0; x < out_w; ++x) {
            const int sx = x * width / out_w, sy = y * height / out_h;
            for (int b = 0; b < 4; ++b)
                out[(static_cast<size_t>(y) * out_w + x) * 4 + b] =
                    b == 3 ? 0xFF : full[(static_cast<size_t>(sy) * width + sx) * 4 + b];
        }
    return out;
}

TEST(SoftwarePicture, OnePassEqualsConvertStampThenShrink) {
    const struct {
        int width, height, out_w, out_h;
    } cases[] = {{352, 288, 352, 288},
                 {352, 288, 177, 145},
                 {704, 576, 268, 218},
                 {176, 144, 175, 143},
                 {1920, 1088, 357, 291}};
    uint32_t seed = 1;
    for (const auto& c : cases) {
        const auto yuy2 = random_yuy2(c.width, c.height, seed++);
        view::StampState stamp;
        view::stamp_build(stamp, c.width, c.height, false);
        view::stamp_update(stamp, 0x12345678u);
        std::vector<uint8_t> out(static_cast<size_t>(c.out_w) * c.out_h * 4, 0x11);
        std::vector<uint8_t> scratch(static_cast<size_t>(c.width) * 4);
        yuy2_to_bgrx_fit(yuy2.data(), c.width, c.height, out.data(), c.out_w, c.out_h, &stamp,
                         scratch.data());
        EXPECT_EQ(out, long_way(yuy2, c.width, c.height, c.out_w, c.out_h, stamp))
            << c.width << "x" << c.height << " -> " << c.out_w << "x" << c.out_h;
    }
}

// From a decoder's planes (strides wider than the picture, as decoders give them) the pass
// gives exactly what packing the whole picture and converting it gives.
TEST(SoftwarePicture, PlanarSourceEqualsPackingFirst) {
    const struct {
        int width, height, out_w, out_h;
    } cases[] = {{352, 288, 352, 288}, {352, 288, 213, 170}, {704, 576, 268, 218},
                 {176, 144, 175, 143}, {1920, 1088, 357, 291}};
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        const int y_stride = c.width + 32, c_stride = c.width / 2 + 16;
        std::vector<uint8_t> y(static_cast<size_t>(y_stride) * c.height),
            u(static_cast<size_t>(c_stride) * c.height / 2),
            v(static_cast<size_t>(c_stride) * c.height / 2);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane) b = static_cast<uint8_t>(rng());
        codec::PlanarPicture planar{y.data(), u.data(), v.data(), y_stride, c_stride,
                                    c_stride,  c.width,  c.height};
        std::vector<uint8_t> packed(static_cast<size_t>(c.width) * c.height * 2);
        codec::pack_yuy2(planar, c.width, c.height, packed.data(), c.width * 2);
        view::StampState stamp;
        view::stamp_build(stamp, c.width, c.height, false);
        view::stamp_update(stamp, 0x12345678u);
        const size_t out_bytes = static_cast<size_t>(c.out_w) * c.out_h * 4;
        std::vector<uint8_t> expected(out_bytes, 0x11), out(out_bytes, 0x22);
        std::vector<uint8_t> scratch(static_cast<size_t>(c.width) * 4),
            yuy2_row(static_cast<size_t>(c.width) * 2);
        yuy2_to_bgrx_fit(packed.data(), c.width, c.height, expected.data(), c.out_w, c.out_h,
                         &stamp, scratch.data());
        planar_to_bgrx_fit(planar, out.data(), c.out_w, c.out_h, &stamp, scratch.data(),
                           yuy2_row.data());
        EXPECT_EQ(out, expected) << c.width << "x" << c.height << " -> " << c.out_w << "x"
                                 << c.out_h;
    }
}

TEST(SoftwarePicture, SizesBeyondTheLimitWriteNothing) {
    std::vector<uint8_t> src(16, 0), out(64, 0x22), scratch(64);
    yuy2_to_bgrx_fit(src.data(), 4096, 2, out.data(), 2, 2, nullptr, scratch.data());
    yuy2_to_bgrx_fit(src.data(), 4, 2, out.data(), 8, 2, nullptr, scratch.data());
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0x22));
}

}  // namespace
}  // namespace orvel::pane
