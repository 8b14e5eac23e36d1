// Encoder and decoder agree bit for bit over long sequences, and the pictures stay close to
// the source at every quantiser.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "codec/c4321/encoder.h"
#include "codec/c4321/picture_decoder.h"
#include "synthetic.h"

namespace orvel::codec::c4321 {
namespace {

using testing::PlanarFrame;

bool same_planes(const Picture& a, const Picture& b) {
    const Plane* pa[3] = {&a.y, &a.u, &a.v};
    const Plane* pb[3] = {&b.y, &b.u, &b.v};
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < pa[p]->height; ++y) {
            if (std::memcmp(pa[p]->row(y), pb[p]->row(y), static_cast<size_t>(pa[p]->width)) != 0) return false;
        }
    }
    return true;
}

struct RunResult {
    double min_psnr = 99.0;
    double mean_psnr = 0.0;
    size_t total_bytes = 0;
    EncoderStats totals;
    int mismatched_pictures = 0;
};

RunResult run_sequence(int width, int height, int frames, int q_code, double noise, const RoutineSet& routines,
                       std::vector<std::vector<uint8_t>>* streams = nullptr) {
    Encoder encoder(width, height, routines);
    PictureDecoder decoder(width, height, routines);
    EXPECT_TRUE(encoder.valid());
    EXPECT_TRUE(decoder.valid());
    PlanarFrame frame(width, height);
    std::mt19937 rng(1234);
    RunResult result;
    double psnr_sum = 0;
    for (int i = 0; i < frames; ++i) {
        testing::render_scene(frame, i, noise, rng);
        const PictureType type = i % 50 == 0 ? PictureType::intra : PictureType::inter;
        const std::vector<uint8_t>& bytes =
            encoder.encode_planar(frame.y.data(), width, frame.u.data(), frame.v.data(), width / 2, type, q_code);
        const EncoderStats& s = encoder.stats();
        result.totals.intra_macroblocks += s.intra_macroblocks;
        result.totals.one_vector_macroblocks += s.one_vector_macroblocks;
        result.totals.four_vector_macroblocks += s.four_vector_macroblocks;
        result.totals.not_coded_macroblocks += s.not_coded_macroblocks;
        result.totals.ac_predicted_macroblocks += s.ac_predicted_macroblocks;
        result.total_bytes += bytes.size();
        if (streams) streams->push_back(bytes);
        // An exactly sized copy, so that any read past the end is caught by the sanitizers.
        const std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        EXPECT_GT(decoder.decode(exact.data(), exact.size()), 0);
        EXPECT_FALSE(decoder.last_picture_damaged()) << "picture " << i;
        if (!same_planes(decoder.picture(), encoder.reconstruction())) ++result.mismatched_pictures;
        const Plane& rec = decoder.picture().y;
        const double p = testing::psnr(frame.y.data(), width, rec.row(0), rec.stride, width, height);
        psnr_sum += p;
        if (p < result.min_psnr) result.min_psnr = p;
    }
    result.mean_psnr = psnr_sum / frames;
    return result;
}

struct QuantiserCase {
    int q_code;
    double noise;
    double psnr_floor;
};

class RoundTrip : public ::testing::TestWithParam<QuantiserCase> {};

TEST_P(RoundTrip, DecoderReproducesReconstructionOver250Frames) {
    const QuantiserCase c = GetParam();
    const RunResult r = run_sequence(176, 144, 250, c.q_code, c.noise, active_routines());
    std::printf("q-code %d noise %.1f: PSNR min %.2f mean %.2f dB, %zu bytes, intra %d, 1v %d, 4v %d, skip %d, acpred %d\n",
                c.q_code, c.noise, r.min_psnr, r.mean_psnr, r.total_bytes, r.totals.intra_macroblocks,
                r.totals.one_vector_macroblocks, r.totals.four_vector_macroblocks, r.totals.not_coded_macroblocks,
                r.totals.ac_predicted_macroblocks);
    EXPECT_EQ(r.mismatched_pictures, 0);
    EXPECT_GE(r.min_psnr, c.psnr_floor);
    // The run must exercise every macroblock kind, or the comparison proves little.
    EXPECT_GT(r.totals.one_vector_macroblocks, 0);
    EXPECT_GT(r.totals.four_vector_macroblocks, 0);
    EXPECT_GT(r.totals.not_coded_macroblocks + (c.noise > 0 ? 1 : 0), 0);
    EXPECT_GT(r.totals.ac_predicted_macroblocks, 0);
}

INSTANTIATE_TEST_SUITE_P(Quantisers, RoundTrip,
                         ::testing::Values(QuantiserCase{0, 0.0, 41.5}, QuantiserCase{1, 0.0, 39.0},
                                           QuantiserCase{2, 0.0, 37.5}, QuantiserCase{3, 0.0, 36.0},
                                           QuantiserCase{0, 4.0, 35.0}, QuantiserCase{3, 4.0, 32.5}));

TEST(RoundTrip, EveryRoutineSetGivesTheSameStreamAndPictures) {
    const RoutineSet* sse2 = sse2_routines();
    if (sse2 == nullptr) GTEST_SKIP() << "no accelerated set on this target";
    std::vector<std::vector<uint8_t>> plain_stream;
    std::vector<std::vector<uint8_t>> fast_stream;
    run_sequence(176, 144, 60, 0, 3.0, plain_routines(), &plain_stream);
    run_sequence(176, 144, 60, 0, 3.0, *sse2, &fast_stream);
    ASSERT_EQ(plain_stream.size(), fast_stream.size());
    for (size_t i = 0; i < plain_stream.size(); ++i) EXPECT_EQ(plain_stream[i], fast_stream[i]) << "picture " << i;
    // Decode the same stream with both sets.
    PictureDecoder plain(176, 144, plain_routines());
    PictureDecoder fast(176, 144, *sse2);
    std::vector<uint8_t> out_plain(176 * 144 * 2);
    std::vector<uint8_t> out_fast(176 * 144 * 2);
    for (const auto& bytes : plain_stream) {
        plain.decode(bytes.data(), bytes.size());
        fast.decode(bytes.data(), bytes.size());
        plain.write_yuy2(out_plain.data());
        fast.write_yuy2(out_fast.data());
        ASSERT_EQ(out_plain, out_fast);
    }
}

TEST(RoundTrip, SizesThatAreNotMacroblockMultiplesDecodeWithBlackMargins) {
    const int width = 50;
    const int height = 37;
    Encoder encoder(width, height);
    PictureDecoder decoder(width, height, active_routines());
    PlanarFrame frame(width, height);
    std::mt19937 rng(5);
    std::vector<uint8_t> expected(width * height * 2);
    std::vector<uint8_t> decoded(width * height * 2);
    for (int i = 0; i < 3; ++i) {
        testing::render_scene(frame, i, 0, rng);
        const auto& bytes = encoder.encode_planar(frame.y.data(), width, frame.u.data(), frame.v.data(), width / 2,
                                                  i == 0 ? PictureType::intra : PictureType::inter, 1);
        ASSERT_GT(decoder.decode(bytes.data(), bytes.size()), 0);
        encoder.write_reconstruction_yuy2(expected.data());
        decoder.write_yuy2(decoded.data());
        ASSERT_EQ(expected, decoded);
    }
    // Row 40 lies below the 32 coded rows: black.
    EXPECT_EQ(decoded[static_cast<size_t>(35) * width * 2], 0);
    EXPECT_EQ(decoded[static_cast<size_t>(35) * width * 2 + 1], 128);
    EXPECT_EQ(decoded[48 * 2 + 1], 128);
}

TEST(RoundTrip, Yuy2InputMatchesPlanarInput) {
    const int width = 64;
    const int height = 48;
    PlanarFrame frame(width, height);
    std::mt19937 rng(9);
    testing::render_scene(frame, 3, 2.0, rng);
    // Packed copy whose chroma rows are duplicated, so that averaging gives back the planes.
    std::vector<uint8_t> packed(width * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            uint8_t* p = &packed[(static_cast<size_t>(y) * width + 2 * x) * 2];
            p[0] = frame.y[y * width + 2 * x];
            p[1] = frame.u[(y / 2) * (width / 2) + x];
            p[2] = frame.y[y * width + 2 * x + 1];
            p[3] = frame.v[(y / 2) * (width / 2) + x];
        }
    }
    Encoder a(width, height);
    Encoder b(width, height);
    const std::vector<uint8_t> planar =
        a.encode_planar(frame.y.data(), width, frame.u.data(), frame.v.data(), width / 2, PictureType::intra, 0);
    const std::vector<uint8_t> from_packed = b.encode_yuy2(packed.data(), PictureType::intra, 0);
    EXPECT_EQ(planar, from_packed);
}

}  // namespace
}  // namespace orvel::codec::c4321
