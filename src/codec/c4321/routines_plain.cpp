#include <atomic>

#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {

namespace {

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline uint8_t clamp_pixel(int v) { return static_cast<uint8_t>(clamp_int(v, 0, 255)); }

void dequant_intra_plain(int16_t* block, int q) {
    for (int i = 1; i < 64; ++i) block[i] = dequantise_level(block[i], q);
}

void dequant_inter_plain(int16_t* block, int q) {
    for (int i = 0; i < 64; ++i) block[i] = dequantise_level(block[i], q);
}

// One 8-point pass of the inverse DCT over `in` (stride in_step between the 8 inputs),
// writing 8 outputs. Even and odd halves are summed separately; the sums are the exact
// integer sums of the definition, so the result equals the plain matrix product.
template <int Shift>
inline void idct_8(const int* in, int* out) {
    int even[4];
    int odd[4];
    for (int y = 0; y < 4; ++y) {
        even[y] = kIdctBasis[0][y] * in[0] + kIdctBasis[2][y] * in[2] + kIdctBasis[4][y] * in[4] +
                  kIdctBasis[6][y] * in[6];
        odd[y] = kIdctBasis[1][y] * in[1] + kIdctBasis[3][y] * in[3] + kIdctBasis[5][y] * in[5] +
                 kIdctBasis[7][y] * in[7];
    }
    constexpr int kRound = 1 << (Shift - 1);
    for (int y = 0; y < 4; ++y) {
        out[y] = (even[y] + odd[y] + kRound) >> Shift;
        out[7 - y] = (even[y] - odd[y] + kRound) >> Shift;
    }
}

void idct_plain(const int16_t* block, int* result) {
    int t[64];
    for (int u = 0; u < 8; ++u) {
        int column[8];
        int out[8];
        for (int v = 0; v < 8; ++v) column[v] = block[v * 8 + u];
        idct_8<kIdctShift1>(column, out);
        for (int y = 0; y < 8; ++y) t[y * 8 + u] = clamp_int(out[y], -32768, 32767);
    }
    for (int y = 0; y < 8; ++y) {
        idct_8<kIdctShift2>(&t[y * 8], &result[y * 8]);
        for (int x = 0; x < 8; ++x) result[y * 8 + x] = clamp_int(result[y * 8 + x], -32768, 32767);
    }
}

void idct_put_plain(int16_t* block, uint8_t* dst, int stride) {
    int result[64];
    idct_plain(block, result);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) dst[y * stride + x] = clamp_pixel(result[y * 8 + x]);
    }
}

void idct_add_plain(int16_t* block, uint8_t* dst, int stride) {
    int result[64];
    idct_plain(block, result);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            dst[y * stride + x] = clamp_pixel(dst[y * stride + x] + result[y * 8 + x]);
    }
}

void dc_put_plain(int dc, uint8_t* dst, int stride) {
    const uint8_t value = clamp_pixel(idct_dc_only_value(dc));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) dst[y * stride + x] = value;
    }
}

void dc_add_plain(int dc, uint8_t* dst, int stride) {
    const int value = idct_dc_only_value(dc);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) dst[y * stride + x] = clamp_pixel(dst[y * stride + x] + value);
    }
}

template <int Size, int Half>
void predict_case(uint8_t* dst, ptrdiff_t dst_stride, const uint8_t* src, ptrdiff_t src_stride) {
    for (int y = 0; y < Size; ++y, dst += dst_stride, src += src_stride) {
        const uint8_t* a = src;
        const uint8_t* b = src + src_stride;
        for (int x = 0; x < Size; ++x) {
            if constexpr (Half == 0) {
                dst[x] = a[x];
            } else if constexpr (Half == 1) {
                dst[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
            } else if constexpr (Half == 2) {
                dst[x] = static_cast<uint8_t>((a[x] + b[x] + 1) >> 1);
            } else {
                dst[x] = static_cast<uint8_t>((a[x] + a[x + 1] + b[x] + b[x + 1] + 2) >> 2);
            }
        }
    }
}

template <int Half>
void predict_chroma_case(uint8_t* dst_u, uint8_t* dst_v, ptrdiff_t dst_stride, const uint8_t* src_u,
                         const uint8_t* src_v, ptrdiff_t src_stride) {
    predict_case<8, Half>(dst_u, dst_stride, src_u, src_stride);
    predict_case<8, Half>(dst_v, dst_stride, src_v, src_stride);
}

void predict_plain(uint8_t* dst, int dst_stride, const uint8_t* src, int src_stride, int size,
                   int half_x, int half_y) {
    for (int y = 0; y < size; ++y) {
        const uint8_t* a = src + y * src_stride;
        const uint8_t* b = a + src_stride;
        uint8_t* d = dst + y * dst_stride;
        for (int x = 0; x < size; ++x) {
            if (half_x == 0 && half_y == 0) {
                d[x] = a[x];
            } else if (half_y == 0) {
                d[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
            } else if (half_x == 0) {
                d[x] = static_cast<uint8_t>((a[x] + b[x] + 1) >> 1);
            } else {
                d[x] = static_cast<uint8_t>((a[x] + a[x + 1] + b[x] + b[x + 1] + 2) >> 2);
            }
        }
    }
}

void yuy2_row_plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out) {
    for (int i = 0; i < pairs; ++i) {
        out[4 * i] = y[2 * i];
        out[4 * i + 1] = u[i];
        out[4 * i + 2] = y[2 * i + 1];
        out[4 * i + 3] = v[i];
    }
}

const RoutineSet kPlainSet = {
    "plain",
    dequant_intra_plain,
    dequant_inter_plain,
    idct_put_plain,
    idct_add_plain,
    dc_put_plain,
    dc_add_plain,
    predict_plain,
    {predict_case<16, 0>, predict_case<16, 1>, predict_case<16, 2>, predict_case<16, 3>},
    {predict_case<8, 0>, predict_case<8, 1>, predict_case<8, 2>, predict_case<8, 3>},
    {predict_chroma_case<0>, predict_chroma_case<1>, predict_chroma_case<2>,
     predict_chroma_case<3>},
    yuy2_row_plain,
};

std::atomic<const RoutineSet*> g_active{&kPlainSet};

}  // namespace

const RoutineSet& plain_routines() { return kPlainSet; }

const RoutineSet& active_routines() { return *g_active.load(std::memory_order_acquire); }

void select_routines(const CpuFeatures& features) {
    const RoutineSet* chosen = &kPlainSet;
    if (features.sse2 && sse2_routines() != nullptr) chosen = sse2_routines();
    if (features.sse2 && avx2_routines() != nullptr) chosen = avx2_routines();
    g_active.store(chosen, std::memory_order_release);
}

}  // namespace orvel::codec::c4321
