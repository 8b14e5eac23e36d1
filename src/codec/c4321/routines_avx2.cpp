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

RoutineSet make_avx2_set() {
    RoutineSet set = *sse2_routines();
    set.name = "avx2";
    set.dequant_intra = dequant_intra_avx2;
    set.dequant_inter = dequant_inter_avx2;
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
