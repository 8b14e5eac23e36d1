// Long runs: 250 pictures per quantiser, with and without camera-like noise.
#include <gtest/gtest.h>

#include <cstdio>

#include "codec/c4321/routines.h"
#include "codec/cpu_features.h"
#include "sequence_runner.h"

namespace orvel::codec::c4321 {
namespace {

using testing::RunResult;
using testing::run_sequence;

struct QuantiserCase {
    int q_code;
    double noise;
    double psnr_floor;
};

class RoundTrip : public ::testing::TestWithParam<QuantiserCase> {};

TEST_P(RoundTrip, DecoderReproducesReconstructionOver250Frames) {
    const QuantiserCase c = GetParam();
    // The set this processor gets in the program (the others are compared with it picture by
    // picture in the round-trip tests).
    select_routines(detect_cpu_features());
    const RunResult r = run_sequence(176, 144, 250, c.q_code, c.noise, active_routines());
    std::printf("%s, q-code %d noise %.1f: PSNR min %.2f mean %.2f dB, %zu bytes, intra %d, 1v %d, 4v %d, skip %d, acpred %d\n",
                active_routines().name, c.q_code, c.noise, r.min_psnr, r.mean_psnr, r.total_bytes, r.totals.intra_macroblocks,
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

}  // namespace
}  // namespace orvel::codec::c4321
