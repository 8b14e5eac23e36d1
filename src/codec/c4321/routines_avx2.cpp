// AVX2 routine set (x86-64): chosen at run time where the processor and the operating system
// support AVX2; the rest of the program is built for SSE2 only, so every function here carries
// the target attribute. Routines that 256-bit registers do not speed up are the SSE2 set's.
// Every routine computes exactly what its plain counterpart does.
#include "codec/c4321/routines.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#include <cstdint>

#define ORVEL_AVX2 __attribute__((target("avx2")))

namespace orvel::codec::c4321 {
namespace {

// Packed Y0 U Y1 V is the byte interleave of the luma row with the byte interleave of the
// chroma rows (U0 V0 U1 V1 ...). AVX2 interleaves within 128-bit lanes, so the chroma bytes
// are first ordered so that each lane's interleave yields consecutive output.
ORVEL_AVX2 inline void yuy2_32_pairs(const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                     uint8_t* out) {
    // [U0-7, U16-23 | U8-15, U24-31] and the same for V.
    const __m256i us =
        _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)), 0xD8);
    const __m256i vs =
        _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)), 0xD8);
    const __m256i uv_first = _mm256_unpacklo_epi8(us, vs);   // chroma bytes 0-15 | 16-31
    const __m256i uv_second = _mm256_unpackhi_epi8(us, vs);  // chroma bytes 32-47 | 48-63
    const __m256i y_first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i y_second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + 32));
    const __m256i a_lo = _mm256_unpacklo_epi8(y_first, uv_first);    // out 0-15 | 32-47
    const __m256i a_hi = _mm256_unpackhi_epi8(y_first, uv_first);    // out 16-31 | 48-63
    const __m256i b_lo = _mm256_unpacklo_epi8(y_second, uv_second);  // out 64-79 | 96-111
    const __m256i b_hi = _mm256_unpackhi_epi8(y_second, uv_second);  // out 80-95 | 112-127
    auto* o = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(o, _mm256_permute2x128_si256(a_lo, a_hi, 0x20));
    _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(a_lo, a_hi, 0x31));
    _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(b_lo, b_hi, 0x20));
    _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(b_lo, b_hi, 0x31));
}

ORVEL_AVX2 void yuy2_row_avx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int pairs,
                              uint8_t* out) {
    if (pairs < 32) {
        plain_routines().yuy2_row(y, u, v, pairs, out);
        return;
    }
    for (int i = 0; i + 32 <= pairs; i += 32) yuy2_32_pairs(y + 2 * i, u + i, v + i, out + 4 * i);
    // A partial last block: the last 32 pairs again, rewriting some bytes with the same values.
    if (pairs % 32 != 0) {
        const int i = pairs - 32;
        yuy2_32_pairs(y + 2 * i, u + i, v + i, out + 4 * i);
    }
}

// sign(c) * (q * (2|c| + 1) - 1) clamped to -2048..2047; zero stays zero. As in the SSE2 set,
// |c| is first limited to 256, which already saturates the result for every q >= 4 and keeps
// the 16-bit product exact; q < 4 takes the plain form.
ORVEL_AVX2 inline __m256i dequant_vec(__m256i c, __m256i twice_q, __m256i q_minus_1) {
    const __m256i magnitude = _mm256_min_epi16(_mm256_abs_epi16(c), _mm256_set1_epi16(256));
    const __m256i scaled = _mm256_add_epi16(_mm256_mullo_epi16(magnitude, twice_q), q_minus_1);
    // Negative results may reach -2048, positive ones only 2047; sign() zeroes zero levels.
    const __m256i signed_value =
        _mm256_sign_epi16(_mm256_min_epi16(scaled, _mm256_set1_epi16(2048)), c);
    return _mm256_min_epi16(signed_value, _mm256_set1_epi16(2047));
}

ORVEL_AVX2 void dequant_inter_avx2(int16_t* block, int q) {
    if (q < 4) {
        plain_routines().dequant_inter(block, q);
        return;
    }
    const __m256i twice_q = _mm256_set1_epi16(static_cast<int16_t>(2 * q));
    const __m256i q_minus_1 = _mm256_set1_epi16(static_cast<int16_t>(q - 1));
    for (int i = 0; i < 64; i += 16) {
        auto* p = reinterpret_cast<__m256i*>(block + i);
        _mm256_storeu_si256(p, dequant_vec(_mm256_loadu_si256(p), twice_q, q_minus_1));
    }
}

ORVEL_AVX2 void dequant_intra_avx2(int16_t* block, int q) {
    const int16_t dc = block[0];
    dequant_inter_avx2(block, q);
    block[0] = dc;
}

// Inverse DCT. The column pass works as in the SSE2 set, with the left and right halves of
// the block (columns 0-3 and 4-7) side by side in one register; the row pass then takes two
// rows per register and sums each output's eight products horizontally, so the block is never
// transposed. All sums are the exact 32-bit integer sums of the definition.
ORVEL_AVX2 inline __m256i pair256(int a, int b) {
    return _mm256_set1_epi32(
        static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                         (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}

// Rows a and b of the block interleaved: [columns 0-3 | columns 4-7].
ORVEL_AVX2 inline __m256i interleave_rows(__m128i a, __m128i b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(a, b)),
                                   _mm_unpackhi_epi16(a, b), 1);
}

// out[y] = (sum_v K[v][y] x[v] + round) >> Shift as 32-bit lanes, from the inputs interleaved
// in pairs as idct_half of the SSE2 set takes them; Rows leading inputs may be non-zero.
template <int Shift, int Rows>
ORVEL_AVX2 inline void column_pass(const __m128i* r, __m256i* out) {
    const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
    __m256i even[4];
    __m256i odd[4];
    if constexpr (Rows == 2) {
        const __m256i p01 = interleave_rows(r[0], r[1]);
        const __m256i a =
            _mm256_add_epi32(_mm256_madd_epi16(p01, pair256(kIdctBasis[0][0], 0)), round);
#pragma GCC unroll 4
        for (int y = 0; y < 4; ++y) {
            even[y] = a;
            odd[y] = _mm256_madd_epi16(p01, pair256(0, kIdctBasis[1][y]));
        }
    } else if constexpr (Rows == 4) {
        const __m256i p02 = interleave_rows(r[0], r[2]);
        const __m256i p13 = interleave_rows(r[1], r[3]);
#pragma GCC unroll 4
        for (int y = 0; y < 4; ++y) {
            even[y] = _mm256_add_epi32(
                _mm256_madd_epi16(p02, pair256(kIdctBasis[0][y], kIdctBasis[2][y])), round);
            odd[y] = _mm256_madd_epi16(p13, pair256(kIdctBasis[1][y], kIdctBasis[3][y]));
        }
    } else {
        const __m256i p04 = interleave_rows(r[0], r[4]);
        const __m256i p26 = interleave_rows(r[2], r[6]);
        const __m256i p13 = interleave_rows(r[1], r[3]);
        const __m256i p57 = interleave_rows(r[5], r[7]);
        const __m256i a0 = _mm256_add_epi32(
            _mm256_madd_epi16(p04, pair256(kIdctBasis[0][0], kIdctBasis[4][0])), round);
        const __m256i a1 = _mm256_add_epi32(
            _mm256_madd_epi16(p04, pair256(kIdctBasis[0][1], kIdctBasis[4][1])), round);
        const __m256i c0 = _mm256_madd_epi16(p26, pair256(kIdctBasis[2][0], kIdctBasis[6][0]));
        const __m256i c1 = _mm256_madd_epi16(p26, pair256(kIdctBasis[2][1], kIdctBasis[6][1]));
        even[0] = _mm256_add_epi32(a0, c0);
        even[3] = _mm256_sub_epi32(a0, c0);
        even[1] = _mm256_add_epi32(a1, c1);
        even[2] = _mm256_sub_epi32(a1, c1);
#pragma GCC unroll 4
        for (int y = 0; y < 4; ++y) {
            odd[y] = _mm256_add_epi32(
                _mm256_madd_epi16(p13, pair256(kIdctBasis[1][y], kIdctBasis[3][y])),
                _mm256_madd_epi16(p57, pair256(kIdctBasis[5][y], kIdctBasis[7][y])));
        }
    }
#pragma GCC unroll 4
    for (int y = 0; y < 4; ++y) {
        out[y] = _mm256_srai_epi32(_mm256_add_epi32(even[y], odd[y]), Shift);
        out[7 - y] = _mm256_srai_epi32(_mm256_sub_epi32(even[y], odd[y]), Shift);
    }
}

// The basis column for output x (K[0][x] .. K[7][x]) in each half of a register.
ORVEL_AVX2 inline __m256i basis_column(int x) {
    return _mm256_setr_epi16(kIdctBasis[0][x], kIdctBasis[1][x], kIdctBasis[2][x], kIdctBasis[3][x],
                             kIdctBasis[4][x], kIdctBasis[5][x], kIdctBasis[6][x], kIdctBasis[7][x],
                             kIdctBasis[0][x], kIdctBasis[1][x], kIdctBasis[2][x], kIdctBasis[3][x],
                             kIdctBasis[4][x], kIdctBasis[5][x], kIdctBasis[6][x],
                             kIdctBasis[7][x]);
}

// Two rows [row y | row y + 1] of the column pass's output (16-bit) to the same two rows of
// the result: sat16((sum_u K[u][x] t[y][u] + round) >> Shift).
ORVEL_AVX2 inline __m256i row_pass(__m256i rows) {
    __m256i products[8];
#pragma GCC unroll 8
    for (int x = 0; x < 8; ++x) products[x] = _mm256_madd_epi16(rows, basis_column(x));
    const __m256i s01 = _mm256_hadd_epi32(products[0], products[1]);
    const __m256i s23 = _mm256_hadd_epi32(products[2], products[3]);
    const __m256i s45 = _mm256_hadd_epi32(products[4], products[5]);
    const __m256i s67 = _mm256_hadd_epi32(products[6], products[7]);
    const __m256i round = _mm256_set1_epi32(1 << (kIdctShift2 - 1));
    const __m256i left =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_hadd_epi32(s01, s23), round), kIdctShift2);
    const __m256i right =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_hadd_epi32(s45, s67), round), kIdctShift2);
    return _mm256_packs_epi32(left, right);
}

// The inverse DCT of the block as rows [0 | 1], [2 | 3], [4 | 5], [6 | 7] (16-bit).
ORVEL_AVX2 inline void idct_rows_avx2(const int16_t* block, __m256i* result) {
    __m128i r[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    const __m128i lower = _mm_or_si128(_mm_or_si128(r[4], r[5]), _mm_or_si128(r[6], r[7]));
    const __m128i below_first_two = _mm_or_si128(lower, _mm_or_si128(r[2], r[3]));
    __m256i t[8];
    if (_mm_testz_si128(below_first_two, below_first_two)) {
        column_pass<kIdctShift1, 2>(r, t);
    } else if (_mm_testz_si128(lower, lower)) {
        column_pass<kIdctShift1, 4>(r, t);
    } else {
        column_pass<kIdctShift1, 8>(r, t);
    }
#pragma GCC unroll 4
    for (int y = 0; y < 8; y += 2) {
        // packs gives [y left, y + 1 left | y right, y + 1 right]; reorder to [y | y + 1].
        const __m256i rows = _mm256_permute4x64_epi64(_mm256_packs_epi32(t[y], t[y + 1]), 0xD8);
        result[y / 2] = row_pass(rows);
    }
}

ORVEL_AVX2 void idct_put_avx2(int16_t* block, uint8_t* dst, int stride) {
    __m256i r[4];
    idct_rows_avx2(block, r);
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        // [y bytes, y bytes | y + 1 bytes, y + 1 bytes]
        const __m256i packed = _mm256_packus_epi16(r[i], r[i]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 2 * i * stride),
                         _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (2 * i + 1) * stride),
                         _mm256_extracti128_si256(packed, 1));
    }
}

ORVEL_AVX2 void idct_add_avx2(int16_t* block, uint8_t* dst, int stride) {
    __m256i r[4];
    idct_rows_avx2(block, r);
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        uint8_t* upper = dst + 2 * i * stride;
        uint8_t* lower = upper + stride;
        const __m128i both =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(upper)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lower)));
        const __m256i sum = _mm256_adds_epi16(_mm256_cvtepu8_epi16(both), r[i]);
        const __m256i packed = _mm256_packus_epi16(sum, sum);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(upper), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(lower), _mm256_extracti128_si256(packed, 1));
    }
}

RoutineSet make_avx2_set() {
    RoutineSet set = *sse2_routines();
    set.name = "avx2";
    set.dequant_intra = dequant_intra_avx2;
    set.dequant_inter = dequant_inter_avx2;
    set.idct_put = idct_put_avx2;
    set.idct_add = idct_add_avx2;
    set.yuy2_row = yuy2_row_avx2;
    return set;
}

}  // namespace

const RoutineSet* avx2_routines() {
    static const RoutineSet set = make_avx2_set();
    // The compiler's check covers the operating system's support for the wide registers too.
    static const bool supported = __builtin_cpu_supports("avx2") != 0;
    return supported && sse2_routines() != nullptr ? &set : nullptr;
}

}  // namespace orvel::codec::c4321

#else

namespace orvel::codec::c4321 {
const RoutineSet* avx2_routines() { return nullptr; }
}  // namespace orvel::codec::c4321

#endif
