// Encoder and decoder agree bit for bit over long sequences, and the pictures stay close to
// the source at every quantiser.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "codec/c4321/encoder.h"
#include "codec/c4321/picture_decoder.h"
#include "sequence_runner.h"
#include "synthetic.h"

namespace orvel::codec::c4321 {
namespace {

using testing::PlanarFrame;
using testing::run_sequence;

TEST(RoundTrip, EveryRoutineSetGivesTheSameStreamAndPictures) {
    std::vector<const RoutineSet*> fast_sets;
    for (const RoutineSet* set : {sse2_routines(), avx2_routines()}) {
        if (set != nullptr) fast_sets.push_back(set);
    }
    if (fast_sets.empty()) GTEST_SKIP() << "no accelerated set on this target";
    std::vector<std::vector<uint8_t>> plain_stream;
    EXPECT_EQ(run_sequence(176, 144, 60, 0, 3.0, plain_routines(), &plain_stream).mismatched_pictures,
              0);
    for (const RoutineSet* set : fast_sets) {
        std::vector<std::vector<uint8_t>> fast_stream;
        EXPECT_EQ(run_sequence(176, 144, 60, 0, 3.0, *set, &fast_stream).mismatched_pictures, 0)
            << set->name;
        ASSERT_EQ(plain_stream.size(), fast_stream.size());
        for (size_t i = 0; i < plain_stream.size(); ++i) {
            EXPECT_EQ(plain_stream[i], fast_stream[i]) << set->name << " picture " << i;
        }
        // Decode the same stream with both sets, with and without row-by-row packed output.
        PictureDecoder plain(176, 144, plain_routines());
        PictureDecoder fast(176, 144, *set);
        std::vector<uint8_t> out_plain(176 * 144 * 2);
        std::vector<uint8_t> out_fast(176 * 144 * 2);
        std::vector<uint8_t> streamed(176 * 144 * 2);
        for (const auto& bytes : plain_stream) {
            plain.decode(bytes.data(), bytes.size());
            fast.decode(bytes.data(), bytes.size(), streamed.data());
            plain.write_yuy2(out_plain.data());
            fast.write_yuy2(out_fast.data());
            ASSERT_EQ(out_plain, out_fast) << set->name;
            ASSERT_EQ(out_plain, streamed) << set->name;
        }
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
        // Row-by-row output while decoding equals the whole-picture conversion afterwards.
        std::vector<uint8_t> streamed(width * height * 2, 0x77);
        ASSERT_GT(decoder.decode(bytes.data(), bytes.size(), streamed.data()), 0);
        encoder.write_reconstruction_yuy2(expected.data());
        decoder.write_yuy2(decoded.data());
        ASSERT_EQ(expected, decoded);
        ASSERT_EQ(expected, streamed);
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
