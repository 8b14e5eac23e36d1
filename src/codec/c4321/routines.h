#pragma once
// The codec's arithmetic routines (inverse quantisation, inverse DCT with store or residual
// add, block prediction with half-pixel interpolation, planar to YUY2 rows). Several sets
// exist; every set computes exactly the same results as the plain set. One set is chosen
// per process by codec4321_global_init; decoders and encoders may also be given a set
// explicitly (tests compare them).
#include <cstddef>
#include <cstdint>

#include "codec/cpu_features.h"

namespace orvel::codec::c4321 {

// Inverse DCT definition (all sets): basis K[u][x] = round(2^14 * c(u)/2 * cos((2x+1)u pi/16)),
// c(0) = 1/sqrt(2), else 1. Columns first: t = sat16((sum_v K[v][y] F[v][u] + 2^9) >> 10);
// then rows: f = (sum_u K[u][x] t[y][u] + 2^17) >> 18. Exact 32-bit integer sums; inputs must
// lie in -2048..2047 (the codec clamps every coefficient to that range).
inline constexpr int kIdctShift1 = 10;
inline constexpr int kIdctShift2 = 18;
inline constexpr int16_t kIdctBasis[8][8] = {
    {5793, 5793, 5793, 5793, 5793, 5793, 5793, 5793},
    {8035, 6811, 4551, 1598, -1598, -4551, -6811, -8035},
    {7568, 3135, -3135, -7568, -7568, -3135, 3135, 7568},
    {6811, -1598, -8035, -4551, 4551, 8035, 1598, -6811},
    {5793, -5793, -5793, 5793, 5793, -5793, -5793, 5793},
    {4551, -8035, 1598, 6811, -6811, -1598, 8035, -4551},
    {3135, -7568, 7568, -3135, -3135, 7568, -7568, 3135},
    {1598, -4551, 6811, -8035, 8035, -6811, 4551, -1598},
};

// Inverse quantisation of one level: sign(c) * (q * (2|c| + 1) - 1), clamped to -2048..2047;
// zero stays zero. Every set's dequantisation and the decoder's coefficient reader compute
// exactly this.
inline int16_t dequantise_level(int c, int q) {
    if (c == 0) return 0;
    const int magnitude = q * (2 * (c < 0 ? -c : c) + 1) - 1;
    if (c < 0) return static_cast<int16_t>(magnitude > 2048 ? -2048 : -magnitude);
    return static_cast<int16_t>(magnitude > 2047 ? 2047 : magnitude);
}

// Value of every pixel of the inverse DCT of a block whose only non-zero coefficient is the DC.
inline int idct_dc_only_value(int dc) {
    int t = (kIdctBasis[0][0] * dc + (1 << (kIdctShift1 - 1))) >> kIdctShift1;
    t = t < -32768 ? -32768 : (t > 32767 ? 32767 : t);
    return (kIdctBasis[0][0] * t + (1 << (kIdctShift2 - 1))) >> kIdctShift2;
}

struct RoutineSet {
    const char* name;
    // Inverse quantisation of one block with quantiser q (even, 2..62), in place. Intra skips
    // coefficient 0 (the DC is scaled by the caller); inter scales all 64. Each non-zero c
    // becomes sign(c) * (q * (2|c| + 1) - 1), clamped to -2048..2047.
    void (*dequant_intra)(int16_t* block, int q);
    void (*dequant_inter)(int16_t* block, int q);
    // Inverse DCT of `block` (16-byte aligned), stored clamped to 0..255, or added to the
    // pixels at dst and clamped. The block is left unspecified afterwards.
    void (*idct_put)(int16_t* block, uint8_t* dst, int stride);
    void (*idct_add)(int16_t* block, uint8_t* dst, int stride);
    // Same for a block whose only non-zero coefficient is the DC (value given).
    void (*dc_put)(int dc, uint8_t* dst, int stride);
    void (*dc_add)(int dc, uint8_t* dst, int stride);
    // size x size prediction (size 8 or 16) from src at half-pixel offsets half_x, half_y
    // (0 or 1): (a+b+1)>>1 for one half offset, (a+b+c+d+2)>>2 for both.
    void (*predict)(uint8_t* dst, int dst_stride, const uint8_t* src, int src_stride, int size,
                    int half_x, int half_y);
    // The same per case, for the macroblock loop: index half_x | half_y << 1.
    using BlockPredictor = void (*)(uint8_t* dst, ptrdiff_t dst_stride, const uint8_t* src,
                                    ptrdiff_t src_stride);
    BlockPredictor predict16[4];
    BlockPredictor predict8[4];
    // The two 8 x 8 chroma predictions of a macroblock at once (same offsets, same strides in
    // both planes), index half_x | half_y << 1.
    using ChromaPredictor = void (*)(uint8_t* dst_u, uint8_t* dst_v, ptrdiff_t dst_stride,
                                     const uint8_t* src_u, const uint8_t* src_v,
                                     ptrdiff_t src_stride);
    ChromaPredictor predict_chroma[4];
    // One output row of packed Y0 U Y1 V for `pairs` pixel pairs.
    void (*yuy2_row)(const uint8_t* y, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out);
};

const RoutineSet& plain_routines();
// The SSE2 set, or nullptr where it is not built (non-x86 targets).
const RoutineSet* sse2_routines();
// The AVX2 set (SSE2 routines where AVX2 gains nothing), or nullptr where it is not built or
// the processor (with its operating system) cannot run it.
const RoutineSet* avx2_routines();

// The set chosen for the process (plain until select_routines runs). Any thread.
const RoutineSet& active_routines();
// Chooses the set from the processor's features. UI thread, once, before any decoder exists.
void select_routines(const CpuFeatures& features);

}  // namespace orvel::codec::c4321
