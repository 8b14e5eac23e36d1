#include <atomic>

#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {

const int16_t kIdctBasis[8][8] = {
    {5793, 5793, 5793, 5793, 5793, 5793, 5793, 5793},
    {8035, 6811, 4551, 1598, -1598, -4551, -6811, -8035},
    {7568, 3135, -3135, -7568, -7568, -3135, 3135, 7568},
    {6811, -1598, -8035, -4551, 4551, 8035, 1598, -6811},
    {5793, -5793, -5793, 5793, 5793, -5793, -5793, 5793},
    {4551, -8035, 1598, 6811, -6811, -1598, 8035, -4551},
    {3135, -7568, 7568, -3135, -3135, 7568, -7568, 3135},
    {1598, -4551, 6811, -8035, 8035, -6811, 4551, -1598},
};

namespace {

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline uint8_t clamp_pixel(int v) { return static_cast<uint8_t>(clamp_int(v, 0, 255)); }

inline int16_t dequant_one(int c, int q) {
    if (c == 0) return 0;
    const int magnitude = q * (2 * (c < 0 ? -c : c) + 1) - 1;
    return static_cast<int16_t>(c < 0 ? clamp_int(-magnitude, -2048, 2047) : clamp_int(magnitude, -2048, 2047));
}

void dequant_intra_plain(int16_t* block, int q) {
    for (int i = 1; i < 64; ++i) block[i] = dequant_one(block[i], q);
}

void dequant_inter_plain(int16_t* block, int q) {
    for (int i = 0; i < 64; ++i) block[i] = dequant_one(block[i], q);
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
        for (int x = 0; x < 8; ++x) dst[y * stride + x] = clamp_pixel(dst[y * stride + x] + result[y * 8 + x]);
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

void predict_plain(uint8_t* dst, int dst_stride, const uint8_t* src, int src_stride, int size, int half_x,
                   int half_y) {
    for (int y = 0; y < size; ++y) {
        const uint8_t* a = src + y * src_stride;
        const uint8_t* b = a + src_stride;
        uint8_t* d = dst + y * dst_stride;
        if (half_x == 0 && half_y == 0) {
            for (int x = 0; x < size; ++x) d[x] = a[x];
        } else if (half_y == 0) {
            for (int x = 0; x < size; ++x) d[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
        } else if (half_x == 0) {
            for (int x = 0; x < size; ++x) d[x] = static_cast<uint8_t>((a[x] + b[x] + 1) >> 1);
        } else {
            for (int x = 0; x < size; ++x) {
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
    "plain",        dequant_intra_plain, dequant_inter_plain, idct_put_plain, idct_add_plain,
    dc_put_plain,   dc_add_plain,        predict_plain,       yuy2_row_plain,
};

std::atomic<const RoutineSet*> g_active{&kPlainSet};

}  // namespace

const RoutineSet& plain_routines() { return kPlainSet; }

const RoutineSet& active_routines() { return *g_active.load(std::memory_order_acquire); }

void select_routines(const CpuFeatures& features) {
    const RoutineSet* chosen = &kPlainSet;
    if (features.sse2 && sse2_routines() != nullptr) chosen = sse2_routines();
    g_active.store(chosen, std::memory_order_release);
}

}  // namespace orvel::codec::c4321
