#include "codec/yuy2_pack.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvel::codec {

namespace {

void pack_row_scalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                     uint8_t* out) {
    const std::ptrdiff_t pairs = width / 2;
    for (std::ptrdiff_t i = 0; i < pairs; ++i) {
        out[4 * i + 0] = y[2 * i];
        out[4 * i + 1] = u[i];
        out[4 * i + 2] = y[2 * i + 1];
        out[4 * i + 3] = v[i];
    }
    if (width & 1) {
        out[4 * pairs + 0] = y[2 * pairs];
        out[4 * pairs + 1] = u[pairs];
    }
}

#if defined(__SSE2__)
void pack_row_sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out) {
    std::ptrdiff_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i uu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uv = _mm_unpacklo_epi8(uu, vv);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), _mm_unpacklo_epi8(yy, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), _mm_unpackhi_epi8(yy, uv));
    }
    if (x < width) {
        pack_row_scalar(y + x, u + x / 2, v + x / 2, width - static_cast<int>(x), out + 2 * x);
    }
}
#endif

}  // namespace

void pack_yuy2_scalar(const PlanarPicture& p, int width, int height, uint8_t* output,
                      std::ptrdiff_t output_stride) {
    for (int row = 0; row < height; ++row) {
        pack_row_scalar(p.y + static_cast<std::ptrdiff_t>(row) * p.y_stride,
                        p.u + static_cast<std::ptrdiff_t>(row / 2) * p.u_stride,
                        p.v + static_cast<std::ptrdiff_t>(row / 2) * p.v_stride, width,
                        output + row * output_stride);
    }
}

void pack_yuy2(const PlanarPicture& p, int width, int height, uint8_t* output,
               std::ptrdiff_t output_stride) {
#if defined(__SSE2__)
    for (int row = 0; row < height; ++row) {
        pack_row_sse2(p.y + static_cast<std::ptrdiff_t>(row) * p.y_stride,
                      p.u + static_cast<std::ptrdiff_t>(row / 2) * p.u_stride,
                      p.v + static_cast<std::ptrdiff_t>(row / 2) * p.v_stride, width,
                      output + row * output_stride);
    }
#else
    pack_yuy2_scalar(p, width, height, output, output_stride);
#endif
}

}  // namespace orvel::codec
