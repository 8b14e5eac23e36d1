#include "pane/software_picture.h"

#include <cstring>

#include "codec/picture_limits.h"
#include "view/render/yuy2_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvel::pane {
namespace {

// Sets the filler byte of `pixels` BGRX pixels to 0xFF: the buffer is then a valid opaque
// 0xffRRGGBB image for every Qt drawing path.
void make_opaque(uint8_t* row, int pixels) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= pixels; i += 4) {
        auto* p = reinterpret_cast<__m128i*>(row + i * 4);
        _mm_storeu_si128(p, _mm_or_si128(_mm_loadu_si128(p), opaque));
    }
#endif
    for (; i < pixels; ++i) row[i * 4 + 3] = 0xFF;
}

}  // namespace

void stamp_apply_row(const view::StampState& stamp, int row, int width, uint8_t* row_bgrx) {
    if (!stamp.enabled || stamp.bytes_per_pixel != 4) return;
    const int32_t stride = width * 4;
    const int32_t row_start = row * stride;
    const int32_t row_end = row_start + stride;
    for (const view::StampOffsetList& list : stamp.positioned) {
        for (int i = 0; i < list.count; ++i) {
            const int32_t at = list.offsets[static_cast<std::size_t>(i)];
            // The same bound as stamp_apply: the whole pixel lies inside the picture.
            if (at < row_start || at + 2 >= row_end || at + 2 >= stamp.picture_bytes) continue;
            uint8_t* p = row_bgrx + (at - row_start);
            p[0] = p[1] = p[2] = 0xFF;
        }
    }
}

namespace {

// The one pass for any source: `yuy2_row(sy)` gives source row `sy` as packed YUY2.
template <typename RowSource>
void fit_rows(RowSource yuy2_row, int width, int height, uint8_t* dst, int out_width,
              int out_height, const view::StampState* stamp, uint8_t* row_scratch) {
    const std::size_t out_stride = static_cast<std::size_t>(out_width) * 4;
    // Stamped rows are the last ten; others need no look at the stamp.
    const int stamp_first_row = height - view::kStampMinHeight;
    if (out_width == width && out_height == height) {
        for (int y = 0; y < height; ++y) {
            uint8_t* out = dst + static_cast<std::size_t>(y) * out_stride;
            view::yuy2_to_bgrx_copy(yuy2_row(y), out, width, 1);
            if (stamp != nullptr && y >= stamp_first_row) stamp_apply_row(*stamp, y, width, out);
            make_opaque(out, width);
        }
        return;
    }
    if (row_scratch == nullptr) return;
    // The source column of every output column, stepped as whole quotients and remainders
    // once per picture (no division per pixel); rows are stepped the same way.
    uint16_t columns[codec::kMaxPictureWidth];
    const int x_step = width / out_width, x_extra = width % out_width;
    for (int x = 0, sx = 0, x_rest = 0; x < out_width; ++x) {
        columns[x] = static_cast<uint16_t>(sx);
        sx += x_step;
        x_rest += x_extra;
        if (x_rest >= out_width) {
            x_rest -= out_width;
            ++sx;
        }
    }
    const int y_step = height / out_height, y_extra = height % out_height;
    int sy = 0, y_rest = 0, converted = -1;
    for (int y = 0; y < out_height; ++y) {
        if (sy != converted) {
            view::yuy2_to_bgrx_copy(yuy2_row(sy), row_scratch, width, 1);
            if (stamp != nullptr && sy >= stamp_first_row)
                stamp_apply_row(*stamp, sy, width, row_scratch);
            converted = sy;
        }
        uint8_t* out = dst + static_cast<std::size_t>(y) * out_stride;
        for (int x = 0; x < out_width; ++x) {
            uint32_t v;
            std::memcpy(&v, row_scratch + static_cast<std::size_t>(columns[x]) * 4, 4);
            v |= 0xFF000000u;
            std::memcpy(out + static_cast<std::size_t>(x) * 4, &v, 4);
        }
        sy += y_step;
        y_rest += y_extra;
        if (y_rest >= out_height) {
            y_rest -= out_height;
            ++sy;
        }
    }
}

bool fit_sizes_valid(int width, int height, int out_width, int out_height) {
    return codec::picture_size_supported(width, height) &&
           codec::picture_size_supported(out_width, out_height) && out_width <= width &&
           out_height <= height;
}

}  // namespace

void yuy2_to_bgrx_fit(const uint8_t* src, int width, int height, uint8_t* dst, int out_width,
                      int out_height, const view::StampState* stamp, uint8_t* row_scratch) {
    if (src == nullptr || dst == nullptr || !fit_sizes_valid(width, height, out_width, out_height))
        return;
    const std::size_t in_stride = static_cast<std::size_t>(width) * 2;
    fit_rows([&](int sy) { return src + static_cast<std::size_t>(sy) * in_stride; }, width,
             height, dst, out_width, out_height, stamp, row_scratch);
}

void planar_to_bgrx_fit(const codec::PlanarPicture& src, uint8_t* dst, int out_width,
                        int out_height, const view::StampState* stamp, uint8_t* row_scratch,
                        uint8_t* yuy2_row) {
    const int width = src.width, height = src.height;
    if (src.y == nullptr || src.u == nullptr || src.v == nullptr || dst == nullptr ||
        yuy2_row == nullptr || width % 2 != 0 ||
        !fit_sizes_valid(width, height, out_width, out_height))
        return;
    auto row = [&](int sy) {
        // One row of the picture, its chroma row being the one the packing gives it.
        codec::PlanarPicture one = src;
        one.y = src.y + static_cast<std::ptrdiff_t>(sy) * src.y_stride;
        one.u = src.u + static_cast<std::ptrdiff_t>(sy / 2) * src.u_stride;
        one.v = src.v + static_cast<std::ptrdiff_t>(sy / 2) * src.v_stride;
        one.height = 1;
        codec::pack_yuy2(one, width, 1, yuy2_row, static_cast<std::ptrdiff_t>(width) * 2);
        return static_cast<const uint8_t*>(yuy2_row);
    };
    fit_rows(row, width, height, dst, out_width, out_height, stamp, row_scratch);
}

}  // namespace orvel::pane
