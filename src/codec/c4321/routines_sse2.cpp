// SSE2 routine set (x86-64). Every routine computes exactly what its plain counterpart does.
#include "codec/c4321/routines.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace orvel::codec::c4321 {
namespace {

// Two 16-bit factors (a for the first element of each pair, b for the second) repeated over a
// register, for pmaddwd on interleaved inputs.
inline __m128i pair(int a, int b) {
    return _mm_set1_epi32(
        static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                         (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}

// One 8-point pass over 4 lanes: inputs interleaved in pairs (x[0], x[4]), (x[2], x[6]),
// (x[1], x[3]), (x[5], x[7]) as 32-bit lanes; results (sum_v K[v][y] x[v] + round) >> Shift,
// y = 0..7, as 32-bit lanes. The even and odd halves are exact integer sums of the products of
// the definition (the basis is symmetric: K[v][7 - y] = (-1)^v K[v][y]), so the results equal
// the plain matrix product. Rows says how many leading inputs may be non-zero (2, 4 or 8).
template <int Shift, int Rows>
inline void idct_half(__m128i p04, __m128i p26, __m128i p13, __m128i p57, __m128i* out) {
    const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
    __m128i even[4];
    __m128i odd[4];
    if constexpr (Rows == 2) {
        // p04 holds (x[0], x[1]) here.
        const __m128i a = _mm_add_epi32(_mm_madd_epi16(p04, pair(kIdctBasis[0][0], 0)), round);
#pragma GCC unroll 8
        for (int y = 0; y < 4; ++y) {
            even[y] = a;
            odd[y] = _mm_madd_epi16(p04, pair(0, kIdctBasis[1][y]));
        }
    } else if constexpr (Rows == 4) {
        // p04 holds (x[0], x[2]), p13 (x[1], x[3]).
#pragma GCC unroll 8
        for (int y = 0; y < 4; ++y) {
            even[y] =
                _mm_add_epi32(_mm_madd_epi16(p04, pair(kIdctBasis[0][y], kIdctBasis[2][y])), round);
            odd[y] = _mm_madd_epi16(p13, pair(kIdctBasis[1][y], kIdctBasis[3][y]));
        }
    } else {
        const __m128i a0 =
            _mm_add_epi32(_mm_madd_epi16(p04, pair(kIdctBasis[0][0], kIdctBasis[4][0])), round);
        const __m128i a1 =
            _mm_add_epi32(_mm_madd_epi16(p04, pair(kIdctBasis[0][1], kIdctBasis[4][1])), round);
        const __m128i c0 = _mm_madd_epi16(p26, pair(kIdctBasis[2][0], kIdctBasis[6][0]));
        const __m128i c1 = _mm_madd_epi16(p26, pair(kIdctBasis[2][1], kIdctBasis[6][1]));
        even[0] = _mm_add_epi32(a0, c0);
        even[3] = _mm_sub_epi32(a0, c0);
        even[1] = _mm_add_epi32(a1, c1);
        even[2] = _mm_sub_epi32(a1, c1);
#pragma GCC unroll 8
        for (int y = 0; y < 4; ++y) {
            odd[y] = _mm_add_epi32(_mm_madd_epi16(p13, pair(kIdctBasis[1][y], kIdctBasis[3][y])),
                                   _mm_madd_epi16(p57, pair(kIdctBasis[5][y], kIdctBasis[7][y])));
        }
    }
#pragma GCC unroll 8
    for (int y = 0; y < 4; ++y) {
        out[y] = _mm_srai_epi32(_mm_add_epi32(even[y], odd[y]), Shift);
        out[7 - y] = _mm_srai_epi32(_mm_sub_epi32(even[y], odd[y]), Shift);
    }
}

// out[y] = sat16((sum_v K[v][y] * rows[v] + round) >> shift), 8 lanes at a time. Only the
// first Rows input rows are read (the caller knows the others are zero).
template <int Shift, int Rows>
inline void idct_pass(const __m128i* rows, __m128i* out) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo[8];
    __m128i hi[8];
    if constexpr (Rows == 2) {
        idct_half<Shift, 2>(_mm_unpacklo_epi16(rows[0], rows[1]), zero, zero, zero, lo);
        idct_half<Shift, 2>(_mm_unpackhi_epi16(rows[0], rows[1]), zero, zero, zero, hi);
    } else if constexpr (Rows == 4) {
        idct_half<Shift, 4>(_mm_unpacklo_epi16(rows[0], rows[2]), zero,
                            _mm_unpacklo_epi16(rows[1], rows[3]), zero, lo);
        idct_half<Shift, 4>(_mm_unpackhi_epi16(rows[0], rows[2]), zero,
                            _mm_unpackhi_epi16(rows[1], rows[3]), zero, hi);
    } else {
        idct_half<Shift, 8>(
            _mm_unpacklo_epi16(rows[0], rows[4]), _mm_unpacklo_epi16(rows[2], rows[6]),
            _mm_unpacklo_epi16(rows[1], rows[3]), _mm_unpacklo_epi16(rows[5], rows[7]), lo);
        idct_half<Shift, 8>(
            _mm_unpackhi_epi16(rows[0], rows[4]), _mm_unpackhi_epi16(rows[2], rows[6]),
            _mm_unpackhi_epi16(rows[1], rows[3]), _mm_unpackhi_epi16(rows[5], rows[7]), hi);
    }
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) out[y] = _mm_packs_epi32(lo[y], hi[y]);
}

inline void transpose8(__m128i* r) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Inverse DCT of the block into 8 rows of 16-bit results. Blocks whose lower six or four rows
// or right six or four columns are zero skip those terms (their products are zero, so the sums and
// the result are the same).
inline void idct_rows(const int16_t* block, __m128i* result) {
    __m128i rows[8];
    __m128i t[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i)
        rows[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    const __m128i zero = _mm_setzero_si128();
    const __m128i lower =
        _mm_or_si128(_mm_or_si128(rows[4], rows[5]), _mm_or_si128(rows[6], rows[7]));
    const __m128i all = _mm_or_si128(
        lower, _mm_or_si128(_mm_or_si128(rows[0], rows[1]), _mm_or_si128(rows[2], rows[3])));
    const __m128i below_first_two = _mm_or_si128(lower, _mm_or_si128(rows[2], rows[3]));
    const bool lower_zero = _mm_movemask_epi8(_mm_cmpeq_epi16(lower, zero)) == 0xFFFF;
    const bool below_two_zero = _mm_movemask_epi8(_mm_cmpeq_epi16(below_first_two, zero)) == 0xFFFF;
    const int column_mask = _mm_movemask_epi8(_mm_cmpeq_epi16(all, zero));
    const bool right_zero = (column_mask & 0xFF00) == 0xFF00;
    const bool beyond_two_zero = (column_mask & 0xFFF0) == 0xFFF0;
    if (below_two_zero) {
        idct_pass<kIdctShift1, 2>(rows, t);
    } else if (lower_zero) {
        idct_pass<kIdctShift1, 4>(rows, t);
    } else {
        idct_pass<kIdctShift1, 8>(rows, t);
    }
    transpose8(t);
    if (beyond_two_zero) {
        idct_pass<kIdctShift2, 2>(t, result);
    } else if (right_zero) {
        idct_pass<kIdctShift2, 4>(t, result);
    } else {
        idct_pass<kIdctShift2, 8>(t, result);
    }
    transpose8(result);
}

void idct_put_sse2(int16_t* block, uint8_t* dst, int stride) {
    __m128i r[8];
    idct_rows(block, r);
#pragma GCC unroll 8
    for (int y = 0; y < 8; y += 2) {
        const __m128i packed = _mm_packus_epi16(r[y], r[y + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + y * stride), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (y + 1) * stride),
                         _mm_srli_si128(packed, 8));
    }
}

inline void add_rows(const __m128i* r, uint8_t* dst, int stride) {
    const __m128i zero = _mm_setzero_si128();
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        uint8_t* d = dst + y * stride;
        const __m128i pixels =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d)), zero);
        const __m128i sum = _mm_adds_epi16(pixels, r[y]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(sum, sum));
    }
}

void idct_add_sse2(int16_t* block, uint8_t* dst, int stride) {
    __m128i r[8];
    idct_rows(block, r);
    add_rows(r, dst, stride);
}

void dc_put_sse2(int dc, uint8_t* dst, int stride) {
    const int value = idct_dc_only_value(dc);
    const __m128i v = _mm_set1_epi8(static_cast<char>(value < 0 ? 0 : (value > 255 ? 255 : value)));
    for (int y = 0; y < 8; ++y) _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + y * stride), v);
}

void dc_add_sse2(int dc, uint8_t* dst, int stride) {
    const __m128i v = _mm_set1_epi16(static_cast<int16_t>(idct_dc_only_value(dc)));
    __m128i r[8];
    for (auto& row : r) row = v;
    add_rows(r, dst, stride);
}

// sign(c) * (q * (2|c| + 1) - 1) clamped to -2048..2047; zero stays zero. |c| is first
// limited to 256, which already saturates the result for every q >= 4 and keeps the 16-bit
// product exact (10 * 513 - 1 < 32768). For q = 2 magnitudes above 512 could differ, so the
// plain form is used for q < 4.
inline __m128i dequant_vec(__m128i c, __m128i twice_q, __m128i q_minus_1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i negative = _mm_cmplt_epi16(c, zero);
    const __m128i is_zero = _mm_cmpeq_epi16(c, zero);
    __m128i magnitude = _mm_max_epi16(c, _mm_sub_epi16(zero, c));
    magnitude = _mm_min_epi16(magnitude, _mm_set1_epi16(256));
    const __m128i scaled = _mm_add_epi16(_mm_mullo_epi16(magnitude, twice_q), q_minus_1);
    const __m128i positive = _mm_min_epi16(scaled, _mm_set1_epi16(2047));
    const __m128i negated = _mm_sub_epi16(zero, _mm_min_epi16(scaled, _mm_set1_epi16(2048)));
    const __m128i value =
        _mm_or_si128(_mm_and_si128(negative, negated), _mm_andnot_si128(negative, positive));
    return _mm_andnot_si128(is_zero, value);
}

void dequant_inter_sse2(int16_t* block, int q) {
    if (q < 4) {
        plain_routines().dequant_inter(block, q);
        return;
    }
    const __m128i twice_q = _mm_set1_epi16(static_cast<int16_t>(2 * q));
    const __m128i q_minus_1 = _mm_set1_epi16(static_cast<int16_t>(q - 1));
    for (int i = 0; i < 64; i += 8) {
        auto* p = reinterpret_cast<__m128i*>(block + i);
        _mm_store_si128(p, dequant_vec(_mm_load_si128(p), twice_q, q_minus_1));
    }
}

void dequant_intra_sse2(int16_t* block, int q) {
    const int16_t dc = block[0];
    dequant_inter_sse2(block, q);
    block[0] = dc;
}

template <int Size>
inline __m128i load_row(const uint8_t* p) {
    if constexpr (Size == 16) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    } else {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    }
}

template <int Size>
inline void store_row(uint8_t* p, __m128i v) {
    if constexpr (Size == 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    }
}

// Rows of Size bytes (8 or 16), or the 8-byte rows of both chroma planes side by side in one
// register (byte averages do not mix lanes, so each half is computed as on its own).
template <int Size>
struct OnePlane {
    const uint8_t* src;
    uint8_t* dst;
    __m128i load(ptrdiff_t offset) const { return load_row<Size>(src + offset); }
    void store(ptrdiff_t offset, __m128i v) const { store_row<Size>(dst + offset, v); }
};

struct TwoPlanes {
    const uint8_t* src_u;
    const uint8_t* src_v;
    uint8_t* dst_u;
    uint8_t* dst_v;
    __m128i load(ptrdiff_t offset) const {
        return _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src_u + offset)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src_v + offset)));
    }
    void store(ptrdiff_t offset, __m128i v) const {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst_u + offset), v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst_v + offset), _mm_unpackhi_epi64(v, v));
    }
};

// One function per half-pixel case, so that each loop keeps its pointers in registers.
// Half: bit 0 horizontal, bit 1 vertical.
template <int Half, int Rows, typename Planes>
__attribute__((noinline)) void predict_rows(Planes planes, ptrdiff_t dst_stride,
                                            ptrdiff_t src_stride) {
    ptrdiff_t from = 0;
    ptrdiff_t to = 0;
    if constexpr (Half == 0) {
#pragma GCC unroll 16
        for (int y = 0; y < Rows; ++y, from += src_stride, to += dst_stride)
            planes.store(to, planes.load(from));
    } else if constexpr (Half == 1) {
#pragma GCC unroll 16
        for (int y = 0; y < Rows; ++y, from += src_stride, to += dst_stride) {
            planes.store(to, _mm_avg_epu8(planes.load(from), planes.load(from + 1)));
        }
    } else if constexpr (Half == 2) {
        __m128i above = planes.load(0);
#pragma GCC unroll 16
        for (int y = 0; y < Rows; ++y, to += dst_stride) {
            from += src_stride;
            const __m128i below = planes.load(from);
            planes.store(to, _mm_avg_epu8(above, below));
            above = below;
        }
    } else {
        // (a + b + c + d + 2) >> 2 exactly from byte averages: with x = avg(a, b) and
        // y = avg(c, d), avg(x, y) is one too large exactly when ((a ^ b) | (c ^ d)) and
        // (x ^ y) both have their lowest bit set.
        const __m128i one = _mm_set1_epi8(1);
        __m128i a = planes.load(0);
        __m128i b = planes.load(1);
        __m128i top_avg = _mm_avg_epu8(a, b);
        __m128i top_odd = _mm_xor_si128(a, b);
#pragma GCC unroll 16
        for (int y = 0; y < Rows; ++y, to += dst_stride) {
            from += src_stride;
            a = planes.load(from);
            b = planes.load(from + 1);
            const __m128i bottom_avg = _mm_avg_epu8(a, b);
            const __m128i bottom_odd = _mm_xor_si128(a, b);
            const __m128i correction =
                _mm_and_si128(_mm_and_si128(_mm_or_si128(top_odd, bottom_odd),
                                            _mm_xor_si128(top_avg, bottom_avg)),
                              one);
            planes.store(to, _mm_sub_epi8(_mm_avg_epu8(top_avg, bottom_avg), correction));
            top_avg = bottom_avg;
            top_odd = bottom_odd;
        }
    }
}

template <int Size, int Half>
void predict_block(uint8_t* dst, ptrdiff_t dst_stride, const uint8_t* src, ptrdiff_t src_stride) {
    predict_rows<Half, Size>(OnePlane<Size>{src, dst}, dst_stride, src_stride);
}

template <int Half>
void predict_chroma_case(uint8_t* dst_u, uint8_t* dst_v, ptrdiff_t dst_stride, const uint8_t* src_u,
                         const uint8_t* src_v, ptrdiff_t src_stride) {
    if constexpr (Half == 0) {
        // A plain copy gains nothing from pairing the planes.
        predict_rows<0, 8>(OnePlane<8>{src_u, dst_u}, dst_stride, src_stride);
        predict_rows<0, 8>(OnePlane<8>{src_v, dst_v}, dst_stride, src_stride);
    } else {
        predict_rows<Half, 8>(TwoPlanes{src_u, src_v, dst_u, dst_v}, dst_stride, src_stride);
    }
}

constexpr RoutineSet::BlockPredictor kPredict16[4] = {predict_block<16, 0>, predict_block<16, 1>,
                                                      predict_block<16, 2>, predict_block<16, 3>};
constexpr RoutineSet::BlockPredictor kPredict8[4] = {predict_block<8, 0>, predict_block<8, 1>,
                                                     predict_block<8, 2>, predict_block<8, 3>};

void predict_sse2(uint8_t* dst, int dst_stride, const uint8_t* src, int src_stride, int size,
                  int half_x, int half_y) {
    const int half = (half_x & 1) | ((half_y & 1) << 1);
    if (size == 16) return kPredict16[half](dst, dst_stride, src, src_stride);
    if (size == 8) return kPredict8[half](dst, dst_stride, src, src_stride);
    plain_routines().predict(dst, dst_stride, src, src_stride, size, half_x, half_y);
}

inline void yuy2_16_pairs(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out) {
    const __m128i us = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u));
    const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
    const __m128i y0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i y1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 16));
    const __m128i uv_lo = _mm_unpacklo_epi8(us, vs);
    const __m128i uv_hi = _mm_unpackhi_epi8(us, vs);
    auto* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o, _mm_unpacklo_epi8(y0, uv_lo));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(y0, uv_lo));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi8(y1, uv_hi));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi8(y1, uv_hi));
}

void yuy2_row_sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out) {
    if (pairs < 16) {
        plain_routines().yuy2_row(y, u, v, pairs, out);
        return;
    }
    for (int i = 0; i + 16 <= pairs; i += 16) yuy2_16_pairs(y + 2 * i, u + i, v + i, out + 4 * i);
    // A partial last block: the last 16 pairs again, rewriting some bytes with the same values.
    if (pairs % 16 != 0) {
        const int i = pairs - 16;
        yuy2_16_pairs(y + 2 * i, u + i, v + i, out + 4 * i);
    }
}

const RoutineSet kSse2Set = {
    "sse2",
    dequant_intra_sse2,
    dequant_inter_sse2,
    idct_put_sse2,
    idct_add_sse2,
    dc_put_sse2,
    dc_add_sse2,
    predict_sse2,
    {kPredict16[0], kPredict16[1], kPredict16[2], kPredict16[3]},
    {kPredict8[0], kPredict8[1], kPredict8[2], kPredict8[3]},
    {predict_chroma_case<0>, predict_chroma_case<1>, predict_chroma_case<2>,
     predict_chroma_case<3>},
    yuy2_row_sse2,
};

}  // namespace

const RoutineSet* sse2_routines() { return &kSse2Set; }

}  // namespace orvel::codec::c4321

#else

namespace orvel::codec::c4321 {
const RoutineSet* sse2_routines() { return nullptr; }
}  // namespace orvel::codec::c4321

#endif
