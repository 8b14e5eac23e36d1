#include "view/render/yuy2_convert.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvel::view {
namespace {

constexpr float kBlueU = 1.772f;
constexpr float kGreenU = 0.34414f;
constexpr float kGreenV = 0.71414f;
constexpr float kRedV = 1.402f;

inline uint8_t clamp_byte(float value) {
    // Truncation toward zero, then clamping: the order the equations define.
    int v = static_cast<int>(value);
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

inline void convert_pair(const uint8_t* in, uint8_t* out) {
    const float y0 = in[0];
    const float u = static_cast<float>(static_cast<int>(in[1]) - 128);
    const float y1 = in[2];
    const float v = static_cast<float>(static_cast<int>(in[3]) - 128);
    const float bu = kBlueU * u;
    const float gu = kGreenU * u;
    const float gv = kGreenV * v;
    const float rv = kRedV * v;
    // Read every input byte before writing: in-place conversion may alias `in` and `out`.
    out[0] = clamp_byte(y0 + bu);
    out[1] = clamp_byte((y0 - gu) - gv);
    out[2] = clamp_byte(y0 + rv);
    out[3] = 0;
    out[4] = clamp_byte(y1 + bu);
    out[5] = clamp_byte((y1 - gu) - gv);
    out[6] = clamp_byte(y1 + rv);
    out[7] = 0;
}

#if defined(__SSE2__)
// Converts 8 pixels (16 input bytes) to 32 output bytes. Input is loaded into registers before
// any store, so `out` may overlap `in` as long as it does not overlap bytes not yet loaded.
inline void convert8(const uint8_t* in, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    // 16-bit lanes: Y0 U Y1 V Y0 U Y1 V ...
    const __m128i lo = _mm_unpacklo_epi8(raw, zero);
    const __m128i hi = _mm_unpackhi_epi8(raw, zero);
    // Gather each component into 4 x 32-bit lanes (pairs 0..3).
    const __m128i mask_lo16 = _mm_set1_epi32(0xFFFF);
    // lo holds pairs 0,1 as 16-bit [Y0 U Y1 V Y0 U Y1 V]; view as 32-bit: [Y0|U<<16, Y1|V<<16, ...]
    const __m128i lo_even = _mm_and_si128(lo, mask_lo16);  // Y0, Y1, Y0, Y1 (pairs 0,1)
    const __m128i lo_odd = _mm_srli_epi32(lo, 16);         // U, V, U, V
    const __m128i hi_even = _mm_and_si128(hi, mask_lo16);  // pairs 2,3
    const __m128i hi_odd = _mm_srli_epi32(hi, 16);
    // Reorder to per-component vectors: Y0s = lanes 0,2 of lo_even and hi_even, etc.
    const __m128 le = _mm_castsi128_ps(lo_even);
    const __m128 he = _mm_castsi128_ps(hi_even);
    const __m128 lod = _mm_castsi128_ps(lo_odd);
    const __m128 hod = _mm_castsi128_ps(hi_odd);
    const __m128i y0i = _mm_castps_si128(_mm_shuffle_ps(le, he, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i y1i = _mm_castps_si128(_mm_shuffle_ps(le, he, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i ui = _mm_castps_si128(_mm_shuffle_ps(lod, hod, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i vi = _mm_castps_si128(_mm_shuffle_ps(lod, hod, _MM_SHUFFLE(3, 1, 3, 1)));

    const __m128i bias = _mm_set1_epi32(128);
    const __m128 y0 = _mm_cvtepi32_ps(y0i);
    const __m128 y1 = _mm_cvtepi32_ps(y1i);
    const __m128 u = _mm_cvtepi32_ps(_mm_sub_epi32(ui, bias));
    const __m128 v = _mm_cvtepi32_ps(_mm_sub_epi32(vi, bias));
    const __m128 bu = _mm_mul_ps(_mm_set1_ps(kBlueU), u);
    const __m128 gu = _mm_mul_ps(_mm_set1_ps(kGreenU), u);
    const __m128 gv = _mm_mul_ps(_mm_set1_ps(kGreenV), v);
    const __m128 rv = _mm_mul_ps(_mm_set1_ps(kRedV), v);

    // Truncating conversion; values stay far inside int32 range.
    const __m128i b0 = _mm_cvttps_epi32(_mm_add_ps(y0, bu));
    const __m128i g0 = _mm_cvttps_epi32(_mm_sub_ps(_mm_sub_ps(y0, gu), gv));
    const __m128i r0 = _mm_cvttps_epi32(_mm_add_ps(y0, rv));
    const __m128i b1 = _mm_cvttps_epi32(_mm_add_ps(y1, bu));
    const __m128i g1 = _mm_cvttps_epi32(_mm_sub_ps(_mm_sub_ps(y1, gu), gv));
    const __m128i r1 = _mm_cvttps_epi32(_mm_add_ps(y1, rv));

    // Interleave first and second pixel of each pair: pixel order p0 p1 (pair 0), p0 p1 (pair 1)...
    const __m128i b_lo = _mm_unpacklo_epi32(b0, b1);  // pairs 0,1
    const __m128i b_hi = _mm_unpackhi_epi32(b0, b1);  // pairs 2,3
    const __m128i g_lo = _mm_unpacklo_epi32(g0, g1);
    const __m128i g_hi = _mm_unpackhi_epi32(g0, g1);
    const __m128i r_lo = _mm_unpacklo_epi32(r0, r1);
    const __m128i r_hi = _mm_unpackhi_epi32(r0, r1);
    // Saturating packs clamp to 0..255 exactly as the scalar clamp does.
    const __m128i b16 = _mm_packs_epi32(b_lo, b_hi);  // 8 pixels
    const __m128i g16 = _mm_packs_epi32(g_lo, g_hi);
    const __m128i r16 = _mm_packs_epi32(r_lo, r_hi);
    const __m128i bg = _mm_unpacklo_epi16(b16, g16);       // b g pixels 0..3 (16-bit)
    const __m128i bg_hi = _mm_unpackhi_epi16(b16, g16);    // pixels 4..7
    const __m128i r0x = _mm_unpacklo_epi16(r16, zero);     // r 0 pixels 0..3
    const __m128i r0x_hi = _mm_unpackhi_epi16(r16, zero);
    const __m128i px_lo32 = _mm_packus_epi16(_mm_unpacklo_epi32(bg, r0x), _mm_unpackhi_epi32(bg, r0x));
    const __m128i px_hi32 =
        _mm_packus_epi16(_mm_unpacklo_epi32(bg_hi, r0x_hi), _mm_unpackhi_epi32(bg_hi, r0x_hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), px_lo32);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), px_hi32);
}
#endif

}  // namespace

void yuy2_pair_to_bgrx(const uint8_t in[4], uint8_t out[8]) { convert_pair(in, out); }

void yuy2_to_bgrx(uint8_t* picture, int width, int height) {
    if (picture == nullptr || width < 2 || height <= 0) return;
    const size_t pairs_per_row = static_cast<size_t>(width / 2);
    const size_t in_stride = static_cast<size_t>(width) * 2;
    const size_t out_stride = static_cast<size_t>(width) * 4;
    // Rows from the bottom, pairs from the right: output offsets are at least twice the input
    // offsets, so a store never reaches input bytes that are still to be read.
    for (int row = height - 1; row >= 0; --row) {
        const uint8_t* in = picture + static_cast<size_t>(row) * in_stride;
        uint8_t* out = picture + static_cast<size_t>(row) * out_stride;
        size_t pair = pairs_per_row;
#if defined(__SSE2__)
        // Odd tail first (the rightmost pairs), then blocks of four pairs backwards.
        while (pair % 4 != 0) {
            --pair;
            convert_pair(in + pair * 4, out + pair * 8);
        }
        while (pair >= 4) {
            pair -= 4;
            // The block's output [8p, 8p + 32) covers its own input (already in registers)
            // but never the unread input [0, 4p) to its left.
            convert8(in + pair * 4, out + pair * 8);
        }
#else
        while (pair > 0) {
            --pair;
            convert_pair(in + pair * 4, out + pair * 8);
        }
#endif
    }
}

void yuy2_to_bgrx_copy(const uint8_t* src, uint8_t* dst, int width, int height) {
    if (src == nullptr || dst == nullptr || width < 2 || height <= 0) return;
    const size_t pairs_per_row = static_cast<size_t>(width / 2);
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = src + static_cast<size_t>(row) * width * 2;
        uint8_t* out = dst + static_cast<size_t>(row) * width * 4;
        size_t pair = 0;
#if defined(__SSE2__)
        for (; pair + 4 <= pairs_per_row; pair += 4) convert8(in + pair * 4, out + pair * 8);
#endif
        for (; pair < pairs_per_row; ++pair) convert_pair(in + pair * 4, out + pair * 8);
    }
}

}  // namespace orvel::view
