// Every routine set computes exactly what the plain set computes, and the inverse DCT meets
// the IEEE 1180 accuracy limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {
namespace {

std::vector<const RoutineSet*> accelerated_sets() {
    std::vector<const RoutineSet*> sets;
    if (sse2_routines() != nullptr) sets.push_back(sse2_routines());
    if (avx2_routines() != nullptr) sets.push_back(avx2_routines());
    return sets;
}

void random_block(std::mt19937& rng, int16_t* block, int range, int nonzero) {
    std::memset(block, 0, 64 * sizeof(int16_t));
    std::uniform_int_distribution<int> position(0, 63);
    std::uniform_int_distribution<int> value(-range, range - 1);
    for (int i = 0; i < nonzero; ++i) block[position(rng)] = static_cast<int16_t>(value(rng));
}

TEST(RoutineSets, InverseDctPutAndAddMatchPlainOnRandomBlocks) {
    std::mt19937 rng(42);
    for (const RoutineSet* set : accelerated_sets()) {
        for (int trial = 0; trial < 4000; ++trial) {
            alignas(16) int16_t block[64];
            const int range = trial % 3 == 0 ? 2048 : (trial % 3 == 1 ? 300 : 20);
            random_block(rng, block, range, 1 + trial % 64);
            alignas(16) int16_t copy[64];
            std::memcpy(copy, block, sizeof block);
            uint8_t expected[8 * 12];
            uint8_t actual[8 * 12];
            for (auto& p : expected) p = static_cast<uint8_t>(rng());
            std::memcpy(actual, expected, sizeof expected);
            if (trial % 2 == 0) {
                plain_routines().idct_put(block, expected, 12);
                set->idct_put(copy, actual, 12);
            } else {
                plain_routines().idct_add(block, expected, 12);
                set->idct_add(copy, actual, 12);
            }
            ASSERT_EQ(std::memcmp(expected, actual, sizeof expected), 0)
                << set->name << " trial " << trial;
        }
    }
}

TEST(RoutineSets, InverseDctMatchesPlainWhereTheColumnPassSaturates) {
    // Blocks whose signs follow the basis drive the column sums far past 16 bits (the
    // intermediate rows saturate) and the pixels past 0..255.
    for (const RoutineSet* set : accelerated_sets()) {
        for (int pattern = 0; pattern < 8 * 8 * 2; ++pattern) {
            const int y = pattern % 8;
            const int x = (pattern / 8) % 8;
            const int sign = pattern < 64 ? 1 : -1;
            alignas(16) int16_t block[64];
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    const int product_sign =
                        (kIdctBasis[v][y] < 0) != (kIdctBasis[u][x] < 0) ? -1 : 1;
                    block[v * 8 + u] = static_cast<int16_t>(sign * product_sign > 0 ? 2047 : -2048);
                }
            }
            for (int add = 0; add < 2; ++add) {
                alignas(16) int16_t a[64];
                alignas(16) int16_t b[64];
                std::memcpy(a, block, sizeof a);
                std::memcpy(b, block, sizeof b);
                uint8_t expected[8 * 9];
                uint8_t actual[8 * 9];
                for (int i = 0; i < 72; ++i) expected[i] = actual[i] = static_cast<uint8_t>(i * 7);
                if (add != 0) {
                    plain_routines().idct_add(a, expected, 9);
                    set->idct_add(b, actual, 9);
                } else {
                    plain_routines().idct_put(a, expected, 9);
                    set->idct_put(b, actual, 9);
                }
                ASSERT_EQ(std::memcmp(expected, actual, sizeof expected), 0)
                    << set->name << " pattern " << pattern << " add " << add;
            }
        }
    }
}

TEST(RoutineSets, DcOnlyShortcutEqualsTheFullTransform) {
    for (const RoutineSet* set : {&plain_routines(), sse2_routines(), avx2_routines()}) {
        if (set == nullptr) continue;
        for (int dc = -2048; dc <= 2047; dc += 7) {
            alignas(16) int16_t block[64] = {};
            block[0] = static_cast<int16_t>(dc);
            uint8_t full[64];
            uint8_t shortcut[64];
            for (int i = 0; i < 64; ++i) full[i] = shortcut[i] = static_cast<uint8_t>(i * 4);
            plain_routines().idct_add(block, full, 8);
            set->dc_add(dc, shortcut, 8);
            ASSERT_EQ(std::memcmp(full, shortcut, 64), 0) << set->name << " dc " << dc;
            block[0] = static_cast<int16_t>(dc);
            plain_routines().idct_put(block, full, 8);
            set->dc_put(dc, shortcut, 8);
            ASSERT_EQ(std::memcmp(full, shortcut, 64), 0) << set->name << " dc " << dc;
        }
    }
}

TEST(RoutineSets, DequantisationMatchesPlainForEveryQuantiser) {
    std::mt19937 rng(7);
    for (const RoutineSet* set : accelerated_sets()) {
        for (int q = 2; q <= 62; q += 2) {
            for (int trial = 0; trial < 50; ++trial) {
                alignas(16) int16_t a[64];
                random_block(rng, a, trial < 25 ? 2048 : 300, 40);
                alignas(16) int16_t b[64];
                std::memcpy(b, a, sizeof a);
                alignas(16) int16_t c[64];
                std::memcpy(c, a, sizeof a);
                alignas(16) int16_t d[64];
                std::memcpy(d, a, sizeof a);
                plain_routines().dequant_inter(a, q);
                set->dequant_inter(b, q);
                ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << set->name << " q " << q;
                plain_routines().dequant_intra(c, q);
                set->dequant_intra(d, q);
                ASSERT_EQ(std::memcmp(c, d, sizeof c), 0) << set->name << " q " << q;
            }
        }
    }
}

TEST(RoutineSets, HalfPixelPredictionMatchesPlain) {
    std::mt19937 rng(3);
    std::vector<uint8_t> source(40 * 40);
    for (auto& p : source) p = static_cast<uint8_t>(rng());
    // Rows of extremes as well, where a wrong rounding or an overflow shows.
    for (int i = 0; i < 40 * 8; ++i)
        source[40 * 24 + i] = (i / 3) % 2 != 0 ? 255 : (i % 5 == 0 ? 1 : 0);
    std::vector<const RoutineSet*> sets = accelerated_sets();
    sets.push_back(&plain_routines());
    for (const RoutineSet* set : sets) {
        for (int half = 0; half < 4; ++half) {
            for (int offset : {0, 1, 7, 41, 40 * 15 + 3, 40 * 22 + 1}) {
                const uint8_t* src = source.data() + offset;
                for (int size : {8, 16}) {
                    uint8_t expected[16 * 20] = {};
                    uint8_t actual[16 * 20] = {};
                    uint8_t per_case[16 * 20] = {};
                    plain_routines().predict(expected, 20, src, 40, size, half & 1, half >> 1);
                    set->predict(actual, 20, src, 40, size, half & 1, half >> 1);
                    (size == 16 ? set->predict16 : set->predict8)[half](per_case, 20, src, 40);
                    ASSERT_EQ(std::memcmp(expected, actual, sizeof expected), 0)
                        << set->name << " size " << size << " half " << half;
                    ASSERT_EQ(std::memcmp(expected, per_case, sizeof expected), 0)
                        << set->name << " size " << size << " half " << half << " per case";
                }
                // Both chroma planes at once: the second plane 9 rows further down.
                uint8_t expected_u[8 * 12] = {};
                uint8_t expected_v[8 * 12] = {};
                uint8_t u[8 * 12] = {};
                uint8_t v[8 * 12] = {};
                plain_routines().predict(expected_u, 12, src, 40, 8, half & 1, half >> 1);
                plain_routines().predict(expected_v, 12, src + 9 * 40, 40, 8, half & 1, half >> 1);
                set->predict_chroma[half](u, v, 12, src, src + 9 * 40, 40);
                ASSERT_EQ(std::memcmp(expected_u, u, sizeof u), 0)
                    << set->name << " chroma " << half;
                ASSERT_EQ(std::memcmp(expected_v, v, sizeof v), 0)
                    << set->name << " chroma " << half;
            }
        }
    }
    // The averages round as defined: (1 + 2 + 1) >> 1 = 2, (1 + 2 + 2 + 2 + 2) >> 2 = 1.
    const uint8_t two[4] = {1, 2, 1, 2};
    uint8_t out[1];
    plain_routines().predict(out, 1, two, 2, 1, 1, 0);
    EXPECT_EQ(out[0], 2);
    plain_routines().predict(out, 1, two, 2, 1, 1, 1);
    EXPECT_EQ(out[0], 2);
    const uint8_t ones[4] = {1, 1, 1, 2};
    plain_routines().predict(out, 1, ones, 2, 1, 1, 1);
    EXPECT_EQ(out[0], 1);
}

TEST(RoutineSets, Yuy2RowsMatchPlainForEveryLength) {
    std::mt19937 rng(5);
    std::vector<uint8_t> y(200), u(100), v(100);
    for (auto& p : y) p = static_cast<uint8_t>(rng());
    for (auto& p : u) p = static_cast<uint8_t>(rng());
    for (auto& p : v) p = static_cast<uint8_t>(rng());
    for (const RoutineSet* set : accelerated_sets()) {
        for (int pairs = 0; pairs <= 100; ++pairs) {
            std::vector<uint8_t> expected(400 + 4, 0x5A);
            std::vector<uint8_t> actual(400 + 4, 0x5A);
            plain_routines().yuy2_row(y.data(), u.data(), v.data(), pairs, expected.data());
            set->yuy2_row(y.data(), u.data(), v.data(), pairs, actual.data());
            ASSERT_EQ(expected, actual) << set->name << " pairs " << pairs;
        }
    }
    uint8_t out[4];
    const uint8_t yy[2] = {10, 20};
    const uint8_t uu[1] = {30};
    const uint8_t vv[1] = {40};
    plain_routines().yuy2_row(yy, uu, vv, 1, out);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 30);
    EXPECT_EQ(out[2], 20);
    EXPECT_EQ(out[3], 40);
}

// The IEEE 1180 procedure: random pixel-domain blocks in [-low, high], a double-precision
// forward DCT rounded to integers and clamped to -2048..2047, then this inverse DCT against
// a double-precision inverse DCT rounded to integers (both clamped to -255..255, the range
// the 8-bit residual path below can show).
struct Accuracy {
    int peak = 0;
    double worst_pixel_mse = 0;
    double overall_mse = 0;
    double worst_pixel_mean = 0;
    double overall_mean = 0;
};

Accuracy measure_idct(int low, int high, int sign, int blocks) {
    const double pi = std::acos(-1.0);
    double basis[8][8];
    for (int u = 0; u < 8; ++u) {
        for (int x = 0; x < 8; ++x)
            basis[u][x] = (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * pi / 16);
    }
    // L = 2^31 - 1 linear congruential generator as in the procedure.
    long long seed = 1;
    auto random_in = [&](int lo, int hi) {
        seed = (seed * 1103515245 + 12345) % 2147483648LL;
        const double x = static_cast<double>(seed) / 2147483648.0;
        return static_cast<int>(std::floor(x * (hi + lo + 1))) - lo;
    };
    double error_sum[64] = {};
    double square_sum[64] = {};
    Accuracy a;
    for (int n = 0; n < blocks; ++n) {
        double pixels[64];
        for (double& p : pixels) p = sign * random_in(low, high);
        double coefficients[64];
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                double s = 0;
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) s += basis[v][y] * basis[u][x] * pixels[y * 8 + x];
                }
                coefficients[v * 8 + u] = s;
            }
        }
        alignas(16) int16_t block[64];
        for (int i = 0; i < 64; ++i) {
            const double r = std::nearbyint(coefficients[i]);
            block[i] = static_cast<int16_t>(r < -2048 ? -2048 : (r > 2047 ? 2047 : r));
        }
        double reference[64];
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                double s = 0;
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) s += basis[v][y] * basis[u][x] * block[v * 8 + u];
                }
                const double r = std::floor(s + 0.5);
                reference[y * 8 + x] = r < -255 ? -255 : (r > 255 ? 255 : r);
            }
        }
        // The inverse DCT as the codec adds it: onto a mid-grey prediction of 256 would not fit
        // in 8 bits, so add onto two predictions (0 and 255) and recover the signed result.
        uint8_t low_out[64];
        uint8_t high_out[64];
        std::memset(low_out, 0, sizeof low_out);
        std::memset(high_out, 255, sizeof high_out);
        alignas(16) int16_t copy[64];
        std::memcpy(copy, block, sizeof block);
        plain_routines().idct_add(block, low_out, 8);
        plain_routines().idct_add(copy, high_out, 8);
        for (int i = 0; i < 64; ++i) {
            const int value = low_out[i] > 0 ? low_out[i] : static_cast<int>(high_out[i]) - 255;
            const double e = value - reference[i];
            const int ae = static_cast<int>(std::fabs(e));
            if (ae > a.peak) a.peak = ae;
            error_sum[i] += e;
            square_sum[i] += e * e;
        }
    }
    double total = 0;
    double total_square = 0;
    for (int i = 0; i < 64; ++i) {
        total += error_sum[i];
        total_square += square_sum[i];
        a.worst_pixel_mse = std::max(a.worst_pixel_mse, square_sum[i] / blocks);
        a.worst_pixel_mean = std::max(a.worst_pixel_mean, std::fabs(error_sum[i]) / blocks);
    }
    a.overall_mse = total_square / (64.0 * blocks);
    a.overall_mean = std::fabs(total) / (64.0 * blocks);
    return a;
}

TEST(InverseDct, MeetsIeee1180AccuracyLimits) {
    struct Range {
        int low, high;
    };
    for (const Range r : {Range{256, 255}, Range{5, 5}, Range{300, 300}}) {
        for (int sign : {1, -1}) {
            const Accuracy a = measure_idct(r.low, r.high, sign, 2000);
            EXPECT_LE(a.peak, 1) << r.low << " " << sign;
            EXPECT_LE(a.worst_pixel_mse, 0.06) << r.low << " " << sign;
            EXPECT_LE(a.overall_mse, 0.02) << r.low << " " << sign;
            EXPECT_LE(a.worst_pixel_mean, 0.015) << r.low << " " << sign;
            EXPECT_LE(a.overall_mean, 0.0015) << r.low << " " << sign;
        }
    }
}

}  // namespace
}  // namespace orvel::codec::c4321
