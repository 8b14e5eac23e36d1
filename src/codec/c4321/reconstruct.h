#pragma once
// Macroblock reconstruction shared by the decoder and the encoder: motion-compensated
// prediction, residual add and intra block store. Both sides reconstruct through exactly these
// functions and the same routine set, so the decoder reproduces the encoder's pictures bit for
// bit.
#include <cstdint>

#include "codec/c4321/picture.h"
#include "codec/c4321/prediction.h"
#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {

// Pixels of block 0..5 of a macroblock (luma 0..3 in raster order, 4 = Cb, 5 = Cr).
struct BlockPlace {
    uint8_t* pixels;
    int stride;
};

inline BlockPlace block_place(const Picture& picture, int mbx, int mby, int block) {
    if (block < 4) {
        return {picture.y.row(mby * 16 + (block >> 1) * 8) + mbx * 16 + (block & 1) * 8,
                picture.y.stride};
    }
    const Plane& plane = block == 4 ? picture.u : picture.v;
    return {plane.row(mby * 8) + mbx * 8, plane.stride};
}

// Predicts the whole macroblock (luma and both chroma blocks) from the reference: with one
// vector (vectors[0]) or with four (vectors[0..3], luma blocks in raster order; chroma from
// their sum). A zero vector copies the co-located macroblock (not-coded macroblocks).
inline void predict_macroblock(const RoutineSet& routines, const Picture& reference,
                               const Picture& current, int mbx, int mby,
                               const MotionVector* vectors, bool four_vectors) {
    const ptrdiff_t cy_stride = current.y.stride;
    const ptrdiff_t ry_stride = reference.y.stride;
    uint8_t* const cy = current.y.origin + mby * 16 * cy_stride + mbx * 16;
    const uint8_t* const ry = reference.y.origin + mby * 16 * ry_stride + mbx * 16;
    int chroma_x;
    int chroma_y;
    if (!four_vectors) {
        const MotionVector v = vectors[0];
        routines.predict16[(v.x & 1) | ((v.y & 1) << 1)](
            cy, cy_stride, ry + (v.y >> 1) * ry_stride + (v.x >> 1), ry_stride);
        chroma_x = chroma_from_one(v.x);
        chroma_y = chroma_from_one(v.y);
    } else {
        int sum_x = 0;
        int sum_y = 0;
        for (int b = 0; b < 4; ++b) {
            const MotionVector v = vectors[b];
            sum_x += v.x;
            sum_y += v.y;
            const int x = (b & 1) * 8;
            const int y = (b >> 1) * 8;
            routines.predict8[(v.x & 1) | ((v.y & 1) << 1)](
                cy + y * cy_stride + x, cy_stride,
                ry + (y + (v.y >> 1)) * ry_stride + x + (v.x >> 1), ry_stride);
        }
        chroma_x = chroma_from_four(sum_x);
        chroma_y = chroma_from_four(sum_y);
    }
    // Both chroma planes have the same geometry, so one offset serves both.
    const ptrdiff_t rc_stride = reference.u.stride;
    const ptrdiff_t cc_stride = current.u.stride;
    const ptrdiff_t from = (mby * 8 + (chroma_y >> 1)) * rc_stride + mbx * 8 + (chroma_x >> 1);
    const ptrdiff_t to = mby * 8 * cc_stride + mbx * 8;
    routines.predict_chroma[(chroma_x & 1) | ((chroma_y & 1) << 1)](
        current.u.origin + to, current.v.origin + to, cc_stride, reference.u.origin + from,
        reference.v.origin + from, rc_stride);
}

// Adds an inverse-quantised inter residual to the prediction at `place`. `dc_only` says that
// no coefficient but the first is non-zero. The coefficients are left unspecified.
inline void add_residual(const RoutineSet& routines, int16_t* coefficients, bool dc_only,
                         BlockPlace place) {
    if (dc_only) {
        routines.dc_add(coefficients[0], place.pixels, place.stride);
    } else {
        routines.idct_add(coefficients, place.pixels, place.stride);
    }
}

// Stores an intra block from its reconstructed levels (block[0] = DC level x 8, as
// reconstruct_intra_levels leaves it) with quantiser q. `any_ac` false promises that every AC
// level is zero. The levels are left unspecified.
inline void put_intra_block(const RoutineSet& routines, int16_t* levels, bool any_ac, int q,
                            BlockPlace place) {
    if (any_ac) {
        routines.dequant_intra(levels, q);
        routines.idct_put(levels, place.pixels, place.stride);
    } else {
        routines.dc_put(levels[0], place.pixels, place.stride);
    }
}

}  // namespace orvel::codec::c4321
