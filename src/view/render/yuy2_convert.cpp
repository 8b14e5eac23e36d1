#include "view/render/yuy2_convert.h"

#include <algorithm>
#include <atomic>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEL_HAVE_AVX2_PATH 1
#endif

namespace orvel::view {
namespace {

constexpr float kBlueU = 1.772f;
constexpr float kGreenU = 0.34414f;
constexpr float kGreenV = 0.71414f;
constexpr float kRedV = 1.402f;

// Fixed-point green factors of the vector routines: 20-bit, split in a high and a low part
// so each fits the 16-bit multiplier of madd.
constexpr int kGreenUFixed = -360857, kGreenVFixed = -748830;
constexpr int kGreenUHigh = kGreenUFixed >> 8, kGreenVHigh = kGreenVFixed >> 8;
constexpr int kGreenULow = kGreenUFixed - kGreenUHigh * 256;
constexpr int kGreenVLow = kGreenVFixed - kGreenVHigh * 256;

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
// Converts 8 pixels (16 input bytes) to 32 output bytes with integer arithmetic that gives
// exactly the bytes of the single-precision equations: for every U (and V) the float terms
// change each output by a whole-number offset that does not depend on Y, and these fixed-point
// forms reproduce those offsets for all 256 (and 65,536 for green) chroma values; the test
// checks every Y, U, V combination. Input is in registers before any store, so `out` may
// overlap `in` as long as it does not overlap input bytes not yet loaded.
inline void convert8(const uint8_t* in, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i lo = _mm_unpacklo_epi8(raw, zero);  // 16-bit Y0 U Y1 V Y0 U Y1 V (pairs 0, 1)
    const __m128i hi = _mm_unpackhi_epi8(raw, zero);  // pairs 2, 3
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    // Luma in pixel order, chroma as (U, V) per pair, both 16-bit.
    const __m128i y16 = _mm_packs_epi32(_mm_and_si128(lo, low16), _mm_and_si128(hi, low16));
    const __m128i uv16 = _mm_sub_epi16(
        _mm_packs_epi32(_mm_srli_epi32(lo, 16), _mm_srli_epi32(hi, 16)), _mm_set1_epi16(128));
    // Per-pair offsets (32-bit): blue (U * 3629) >> 11, red (V * 11485) >> 13, green
    // (U * -360857 + V * -748830 + 12) >> 20 with the 20-bit factors split in two 16-bit halves.
    const __m128i b32 = _mm_srai_epi32(_mm_madd_epi16(uv16, _mm_set1_epi32(3629)), 11);
    const __m128i r32 = _mm_srai_epi32(_mm_madd_epi16(uv16, _mm_set1_epi32(11485 << 16)), 13);
    const __m128i g_high =
        _mm_madd_epi16(uv16, _mm_set1_epi32((kGreenUHigh & 0xFFFF) | (kGreenVHigh << 16)));
    const __m128i g_low = _mm_madd_epi16(uv16, _mm_set1_epi32(kGreenULow | (kGreenVLow << 16)));
    const __m128i g32 = _mm_srai_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(g_high, 8), g_low), _mm_set1_epi32(12)), 20);
    // Each pair's offset for both of its pixels, then added to luma.
    auto per_pixel = [](__m128i pair32) {
        const __m128i p16 = _mm_packs_epi32(pair32, pair32);
        return _mm_unpacklo_epi16(p16, p16);
    };
    const __m128i b16 = _mm_add_epi16(y16, per_pixel(b32));
    const __m128i g16 = _mm_add_epi16(y16, per_pixel(g32));
    const __m128i r16 = _mm_add_epi16(y16, per_pixel(r32));
    // Unsigned saturation is the clamp to 0..255.
    const __m128i bg = _mm_unpacklo_epi8(_mm_packus_epi16(b16, b16), _mm_packus_epi16(g16, g16));
    const __m128i r0 = _mm_unpacklo_epi8(_mm_packus_epi16(r16, r16), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, r0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg, r0));
}
#endif

#if defined(ORVEL_HAVE_AVX2_PATH)
// The same arithmetic as convert8 on 16 pixels: each 128-bit lane converts 8 pixels exactly as
// convert8 does (every operation used works within lanes), and the two lanes' results are put
// back in pixel order before the stores. Both stores come after the one load.
// Each pair's 32-bit offset as 16 bits for both of its pixels.
__attribute__((target("avx2"))) inline __m256i per_pixel16(__m256i pair32) {
    const __m256i p16 = _mm256_packs_epi32(pair32, pair32);
    return _mm256_unpacklo_epi16(p16, p16);
}

__attribute__((target("avx2"))) inline void convert16(const uint8_t* in, uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i lo = _mm256_unpacklo_epi8(raw, zero);
    const __m256i hi = _mm256_unpackhi_epi8(raw, zero);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i y16 =
        _mm256_packs_epi32(_mm256_and_si256(lo, low16), _mm256_and_si256(hi, low16));
    const __m256i uv16 =
        _mm256_sub_epi16(_mm256_packs_epi32(_mm256_srli_epi32(lo, 16), _mm256_srli_epi32(hi, 16)),
                         _mm256_set1_epi16(128));
    const __m256i b32 = _mm256_srai_epi32(_mm256_madd_epi16(uv16, _mm256_set1_epi32(3629)), 11);
    const __m256i r32 =
        _mm256_srai_epi32(_mm256_madd_epi16(uv16, _mm256_set1_epi32(11485 << 16)), 13);
    const __m256i g_high =
        _mm256_madd_epi16(uv16, _mm256_set1_epi32((kGreenUHigh & 0xFFFF) | (kGreenVHigh << 16)));
    const __m256i g_low =
        _mm256_madd_epi16(uv16, _mm256_set1_epi32(kGreenULow | (kGreenVLow << 16)));
    const __m256i g32 =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(g_high, 8), g_low),
                                           _mm256_set1_epi32(12)),
                          20);
    const __m256i b16 = _mm256_add_epi16(y16, per_pixel16(b32));
    const __m256i g16 = _mm256_add_epi16(y16, per_pixel16(g32));
    const __m256i r16 = _mm256_add_epi16(y16, per_pixel16(r32));
    const __m256i bg =
        _mm256_unpacklo_epi8(_mm256_packus_epi16(b16, b16), _mm256_packus_epi16(g16, g16));
    const __m256i r0 = _mm256_unpacklo_epi8(_mm256_packus_epi16(r16, r16), zero);
    const __m256i first = _mm256_unpacklo_epi16(bg, r0);   // pixels 0-3 | 8-11
    const __m256i second = _mm256_unpackhi_epi16(bg, r0);  // pixels 4-7 | 12-15
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                        _mm256_permute2x128_si256(first, second, 0x31));
}

// One row in place, from the right: `pairs` is a multiple of 8 here.
__attribute__((target("avx2"))) void row_in_place_avx2(const uint8_t* in, uint8_t* out,
                                                       size_t pairs) {
    while (pairs >= 8) {
        pairs -= 8;
        convert16(in + pairs * 4, out + pairs * 8);
    }
}

__attribute__((target("avx2"))) size_t row_copy_avx2(const uint8_t* in, uint8_t* out,
                                                     size_t pairs) {
    size_t pair = 0;
    for (; pair + 8 <= pairs; pair += 8) convert16(in + pair * 4, out + pair * 8);
    return pair;
}

bool processor_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#else
bool processor_has_avx2() { return false; }
#endif

std::atomic<bool> g_avx2_allowed{true};

bool use_avx2() { return g_avx2_allowed.load(std::memory_order_relaxed) && processor_has_avx2(); }

}  // namespace

void yuy2_pair_to_bgrx(const uint8_t in[4], uint8_t out[8]) { convert_pair(in, out); }

bool yuy2_convert_allow_avx2(bool allowed) {
    g_avx2_allowed.store(allowed);
    return processor_has_avx2();
}

void yuy2_to_bgrx(uint8_t* picture, int width, int height) {
    if (picture == nullptr || width < 2 || height <= 0) return;
    const size_t pairs_per_row = static_cast<size_t>(width / 2);
    const size_t in_stride = static_cast<size_t>(width) * 2;
    const size_t out_stride = static_cast<size_t>(width) * 4;
    // Rows from the bottom, pairs from the right: output offsets are at least twice the input
    // offsets, so a store never reaches input bytes that are still to be read.
    const bool avx2 = use_avx2();
    for (int row = height - 1; row >= 0; --row) {
        const uint8_t* in = picture + static_cast<size_t>(row) * in_stride;
        uint8_t* out = picture + static_cast<size_t>(row) * out_stride;
        size_t pair = pairs_per_row;
#if defined(ORVEL_HAVE_AVX2_PATH)
        if (avx2) {
            // Same order as below with blocks of eight pairs: no store reaches unread input.
            while (pair % 8 != 0) {
                --pair;
                convert_pair(in + pair * 4, out + pair * 8);
            }
            row_in_place_avx2(in, out, pair);
            continue;
        }
#endif
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
    const bool avx2 = use_avx2();
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = src + static_cast<size_t>(row) * width * 2;
        uint8_t* out = dst + static_cast<size_t>(row) * width * 4;
        size_t pair = 0;
#if defined(ORVEL_HAVE_AVX2_PATH)
        if (avx2) pair = row_copy_avx2(in, out, pairs_per_row);
#else
        (void)avx2;
#endif
#if defined(__SSE2__)
        for (; pair + 4 <= pairs_per_row; pair += 4) convert8(in + pair * 4, out + pair * 8);
#endif
        for (; pair < pairs_per_row; ++pair) convert_pair(in + pair * 4, out + pair * 8);
    }
}

}  // namespace orvel::view
