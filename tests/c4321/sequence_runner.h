#pragma once
// Runs a synthetic sequence through the encoder and a decoder and compares them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/c4321/encoder.h"
#include "codec/c4321/picture_decoder.h"
#include "synthetic.h"

namespace orvel::codec::c4321::testing {

inline bool same_planes(const Picture& a, const Picture& b) {
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

inline RunResult run_sequence(int width, int height, int frames, int q_code, double noise, const RoutineSet& routines,
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
        render_scene(frame, i, noise, rng);
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
        const double p = psnr(frame.y.data(), width, rec.row(0), rec.stride, width, height);
        psnr_sum += p;
        if (p < result.min_psnr) result.min_psnr = p;
    }
    result.mean_psnr = psnr_sum / frames;
    return result;
}

}  // namespace orvel::codec::c4321::testing
