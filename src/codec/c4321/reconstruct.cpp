#include "codec/c4321/reconstruct.h"

namespace orvel::codec::c4321 {

void predict_macroblock(const RoutineSet& routines, const Picture& reference,
                        const Picture& current, int mbx, int mby, const MotionVector* vectors,
                        bool four_vectors) {
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

}  // namespace orvel::codec::c4321
