#include "codec/yuy2_pack.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec/picture_output.h"

namespace orvel::codec {
namespace {

struct Planes {
    std::vector<uint8_t> y, u, v;
    PlanarPicture picture;
};

Planes make_planes(int width, int height, int padding) {
    Planes p;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    p.y.resize(static_cast<std::size_t>(width + padding) * height);
    p.u.resize(static_cast<std::size_t>(cw + padding) * ch);
    p.v.resize(p.u.size());
    for (std::size_t i = 0; i < p.y.size(); ++i) p.y[i] = static_cast<uint8_t>(i * 7 + 1);
    for (std::size_t i = 0; i < p.u.size(); ++i) p.u[i] = static_cast<uint8_t>(i * 3 + 100);
    for (std::size_t i = 0; i < p.v.size(); ++i) p.v[i] = static_cast<uint8_t>(i * 5 + 200);
    p.picture = PlanarPicture{p.y.data(),   p.u.data(),   p.v.data(), width + padding,
                              cw + padding, cw + padding, width,      height};
    return p;
}

TEST(Yuy2Pack, VectorPathMatchesPairByPairDefinitionOnAwkwardSizes) {
    for (const int width : {2, 15, 16, 17, 33, 352, 351}) {
        const Planes p = make_planes(width, 5, 3);
        const std::size_t stride = static_cast<std::size_t>(width) * 2;
        std::vector<uint8_t> fast(stride * 5 + 8, 0xEE), slow(stride * 5 + 8, 0xEE);
        pack_yuy2(p.picture, width, 5, fast.data(), static_cast<std::ptrdiff_t>(stride));
        pack_yuy2_scalar(p.picture, width, 5, slow.data(), static_cast<std::ptrdiff_t>(stride));
        EXPECT_EQ(fast, slow) << width;
        // Nothing past width * 2 bytes per row.
        for (int i = 0; i < 8; ++i) EXPECT_EQ(fast[stride * 5 + i], 0xEE) << width;
        // Y0 U Y1 V with each chroma row used for two picture rows.
        EXPECT_EQ(fast[0], p.y[0]);
        EXPECT_EQ(fast[1], p.u[0]);
        EXPECT_EQ(fast[stride + 1], p.u[0]);
        EXPECT_EQ(fast[2 * stride + 1], p.u[static_cast<std::size_t>(p.picture.u_stride)]);
    }
}

TEST(Yuy2Pack, GuardedWriterCropsToCreatedSizeAndBoundsUnknownSizes) {
    const Planes big = make_planes(64, 32, 0);
    std::vector<uint8_t> out(16 * 8 * 2 + 64, 0xEE);
    ASSERT_TRUE(write_picture_guarded(big.picture, 16, 8, out.data()));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out[16 * 8 * 2 + i], 0xEE);
    EXPECT_EQ(out[16 * 2 * 3], big.y[64 * 3]);  // row 3 starts at the created stride

    // Created with a zero size: the stream's stride, never beyond the assumed buffer.
    Planes wide = make_planes(4000, 300, 0);
    std::vector<uint8_t> unknown(kUnknownSizeOutputBytes + 64, 0xEE);
    ASSERT_TRUE(write_picture_guarded(wide.picture, 0, 0, unknown.data()));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(unknown[kUnknownSizeOutputBytes + i], 0xEE);
}

}  // namespace
}  // namespace orvel::codec
