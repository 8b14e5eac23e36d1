// Encoder: pictures, inter macroblocks and the motion search.
#include "codec/c4321/encoder.h"

#include <cstdlib>
#include <cstring>

#include "codec/c4321/coefficients.h"
#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/reconstruct.h"
#include "codec/c4321/tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvel::codec::c4321 {
namespace {

constexpr int kVectorMin = -32;
constexpr int kVectorMax = 31;

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

int sad(const uint8_t* a, int a_stride, const uint8_t* b, int b_stride, int size) {
#if defined(__SSE2__)
    if (size == 16) {
        __m128i total = _mm_setzero_si128();
        for (int y = 0; y < 16; ++y) {
            const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + y * a_stride));
            const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + y * b_stride));
            total = _mm_add_epi64(total, _mm_sad_epu8(pa, pb));
        }
        return _mm_cvtsi128_si32(total) + _mm_cvtsi128_si32(_mm_srli_si128(total, 8));
    }
    if (size == 8) {
        __m128i total = _mm_setzero_si128();
        for (int y = 0; y < 8; ++y) {
            const __m128i pa = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + y * a_stride));
            const __m128i pb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + y * b_stride));
            total = _mm_add_epi64(total, _mm_sad_epu8(pa, pb));
        }
        return _mm_cvtsi128_si32(total);
    }
#endif
    int sum = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) sum += std::abs(a[y * a_stride + x] - b[y * b_stride + x]);
    }
    return sum;
}

// Inter levels: (|F| - q/2) / (2q), the usual dead zone.
bool quantise_inter(const float* coefficients, int q, int16_t* levels) {
    const float inverse = 1.0f / static_cast<float>(2 * q);
    const float dead_zone = static_cast<float>(q) * 0.5f;
    bool any = false;
    for (int i = 0; i < 64; ++i) {
        const float magnitude = (std::abs(coefficients[i]) - dead_zone) * inverse;
        const int level = magnitude <= 0.0f ? 0 : clamp_int(static_cast<int>(magnitude), 0, 255);
        levels[i] = static_cast<int16_t>(coefficients[i] < 0 ? -level : level);
        any = any || level != 0;
    }
    return any;
}

// Copies a planar picture into a coded-size picture (only the coded area is read).
void copy_plane(const uint8_t* src, int src_stride, const Plane& dst) {
    for (int y = 0; y < dst.height; ++y) {
        std::memcpy(dst.row(y), src + static_cast<ptrdiff_t>(y) * src_stride,
                    static_cast<size_t>(dst.width));
    }
}

}  // namespace

struct Encoder::MotionChoice {
    MotionVector one;
    int one_sad = 0;
    bool four = false;
    MotionVector blocks[4];
    int zero_sad = 0;
};

Encoder::Encoder(int width, int height) : Encoder(width, height, active_routines()) {}

Encoder::Encoder(int width, int height, const RoutineSet& routines)
    : routines_(routines), width_(width), height_(height) {
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<long>(width) * height > kMaxArea) {
        return;
    }
    mb_columns_ = width / 16;
    mb_rows_ = height / 16;
    if (!source_.allocate(mb_columns_ * 16, mb_rows_ * 16)) return;
    for (auto& p : pictures_) {
        if (!p.allocate(mb_columns_ * 16, mb_rows_ * 16)) return;
        p.fill(0, 128);
    }
    intra_.reset(mb_columns_);
    vectors_.reset(mb_columns_, mb_rows_);
    output_.reserve(static_cast<size_t>(mb_columns_ * mb_rows_) * 64 + 16);
    valid_ = true;
}

const std::vector<uint8_t>& Encoder::encode_planar(const uint8_t* y, int y_stride, const uint8_t* u,
                                                   const uint8_t* v, int chroma_stride,
                                                   PictureType type, int q_code) {
    output_.clear();
    if (!valid_ || y == nullptr || u == nullptr || v == nullptr) return output_;
    copy_plane(y, y_stride, source_.y);
    copy_plane(u, chroma_stride, source_.u);
    copy_plane(v, chroma_stride, source_.v);
    BitWriter writer(output_);
    writer.put(type == PictureType::inter ? 1 : 0, 1);
    const int code = clamp_int(q_code, 0, 3);
    writer.put(static_cast<uint32_t>(code), 2);
    quantiser_ = kQuantiserForCode[code];
    encode_picture(writer, type);
    writer.flush();
    return output_;
}

const std::vector<uint8_t>& Encoder::encode_yuy2(const uint8_t* yuy2, PictureType type,
                                                 int q_code) {
    output_.clear();
    if (!valid_ || yuy2 == nullptr) return output_;
    const size_t stride = static_cast<size_t>(width_) * 2;
    for (int y = 0; y < source_.y.height; ++y) {
        const uint8_t* row = yuy2 + stride * static_cast<size_t>(y);
        uint8_t* out = source_.y.row(y);
        for (int x = 0; x < source_.y.width; ++x) out[x] = row[2 * x];
    }
    for (int y = 0; y < source_.u.height; ++y) {
        const uint8_t* top = yuy2 + stride * static_cast<size_t>(2 * y);
        const uint8_t* bottom = top + stride;
        uint8_t* u = source_.u.row(y);
        uint8_t* v = source_.v.row(y);
        for (int x = 0; x < source_.u.width; ++x) {
            u[x] = static_cast<uint8_t>((top[4 * x + 1] + bottom[4 * x + 1] + 1) >> 1);
            v[x] = static_cast<uint8_t>((top[4 * x + 3] + bottom[4 * x + 3] + 1) >> 1);
        }
    }
    return encode_planar(source_.y.row(0), source_.y.stride, source_.u.row(0), source_.v.row(0),
                         source_.u.stride, type, q_code);
}

void Encoder::write_reconstruction_yuy2(uint8_t* output) const {
    if (!valid_ || output == nullptr) return;
    write_yuy2_picture(*reference_, width_, height_, routines_, output);
}

void Encoder::encode_picture(BitWriter& writer, PictureType type) {
    stats_ = EncoderStats{};
    intra_.start_picture();
    for (int mby = 0; mby < mb_rows_; ++mby) {
        for (int mbx = 0; mbx < mb_columns_; ++mbx) {
            if (type == PictureType::intra) {
                encode_intra_macroblock(writer, mbx, mby, false, false);
            } else {
                encode_inter_macroblock(writer, mbx, mby);
            }
        }
        intra_.next_row();
    }
    current_->extend_edges();
    Picture* done = current_;
    current_ = reference_;
    reference_ = done;
}

void Encoder::search_motion(int mbx, int mby, MotionChoice& choice) {
    const Plane& src = source_.y;
    const Plane& ref = reference_->y;
    const uint8_t* target = src.row(mby * 16) + mbx * 16;
    auto full_sad = [&](int vx, int vy) {
        return sad(target, src.stride, ref.row(mby * 16 + (vy >> 1)) + mbx * 16 + (vx >> 1),
                   ref.stride, 16);
    };
    alignas(16) uint8_t predicted[16 * 16];
    auto half_sad = [&](int vx, int vy, int block) {
        const int size = block < 0 ? 16 : 8;
        const int x = mbx * 16 + (block > 0 ? (block & 1) * 8 : 0);
        const int y = mby * 16 + (block > 0 ? (block >> 1) * 8 : 0);
        routines_.predict(predicted, 16, ref.row(y + (vy >> 1)) + x + (vx >> 1), ref.stride, size,
                          vx & 1, vy & 1);
        return sad(src.row(y) + x, src.stride, predicted, 16, size);
    };
    choice.zero_sad = full_sad(0, 0);
    int best_x = 0;
    int best_y = 0;
    int best = choice.zero_sad;
    const MotionVector predicted_vector = vectors_.predict(mbx, mby, 0);
    const int centres[2][2] = {{0, 0}, {predicted_vector.x & ~1, predicted_vector.y & ~1}};
    const int range = clamp_int(settings_.search_range_px, 0, 15);
    for (int c = 0; c < 2; ++c) {
        if (c == 1 && centres[1][0] == 0 && centres[1][1] == 0) break;
        for (int dy = -range; dy <= range; ++dy) {
            for (int dx = -range; dx <= range; ++dx) {
                const int vx = centres[c][0] + 2 * dx;
                const int vy = centres[c][1] + 2 * dy;
                if (vx < kVectorMin || vx > kVectorMax - 1 || vy < kVectorMin ||
                    vy > kVectorMax - 1)
                    continue;
                const int s = full_sad(vx, vy);
                if (s < best) {
                    best = s;
                    best_x = vx;
                    best_y = vy;
                }
            }
        }
    }
    const int full_x = best_x;
    const int full_y = best_y;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) continue;
            const int vx = full_x + dx;
            const int vy = full_y + dy;
            if (vx < kVectorMin || vx > kVectorMax || vy < kVectorMin || vy > kVectorMax) continue;
            const int s = half_sad(vx, vy, -1);
            if (s < best) {
                best = s;
                best_x = vx;
                best_y = vy;
            }
        }
    }
    choice.one.x = static_cast<int8_t>(best_x);
    choice.one.y = static_cast<int8_t>(best_y);
    choice.one_sad = best;
    choice.four = false;
    if (!settings_.four_vectors || best < 256) return;
    int four_total = 0;
    for (int b = 0; b < 4; ++b) {
        int block_best = half_sad(best_x, best_y, b);
        MotionVector block_vector = choice.one;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int vx = best_x + dx;
                const int vy = best_y + dy;
                if ((dx == 0 && dy == 0) || vx < kVectorMin || vx > kVectorMax || vy < kVectorMin ||
                    vy > kVectorMax) {
                    continue;
                }
                const int s = half_sad(vx, vy, b);
                if (s < block_best) {
                    block_best = s;
                    block_vector.x = static_cast<int8_t>(vx);
                    block_vector.y = static_cast<int8_t>(vy);
                }
            }
        }
        choice.blocks[b] = block_vector;
        four_total += block_best;
    }
    // Four vectors cost more bits; take them only for a clear gain.
    choice.four = four_total + 8 * quantiser_ + 64 < best;
}

bool Encoder::prefer_intra(int mbx, int mby, int inter_sad) const {
    if (!settings_.intra_in_inter) return false;
    const Plane& src = source_.y;
    int sum = 0;
    for (int y = 0; y < 16; ++y) {
        const uint8_t* row = src.row(mby * 16 + y) + mbx * 16;
        for (int x = 0; x < 16; ++x) sum += row[x];
    }
    const int mean = (sum + 128) >> 8;
    int deviation = 0;
    for (int y = 0; y < 16; ++y) {
        const uint8_t* row = src.row(mby * 16 + y) + mbx * 16;
        for (int x = 0; x < 16; ++x) deviation += std::abs(row[x] - mean);
    }
    return inter_sad > deviation + 512;
}

void Encoder::write_vector(BitWriter& writer, MotionVector v, MotionVector predicted) {
    const CodecTables& t = codec_tables();
    const int components[2] = {v.x - predicted.x, v.y - predicted.y};
    for (int difference : components) {
        if (difference > 32) difference -= 64;
        if (difference < -32) difference += 64;
        const int magnitude = std::abs(difference);
        writer.put(t.mvd_words[magnitude].code, t.mvd_words[magnitude].length);
        if (magnitude != 0) writer.put(difference < 0 ? 1 : 0, 1);
    }
}

void Encoder::encode_inter_macroblock(BitWriter& writer, int mbx, int mby) {
    MotionChoice choice;
    search_motion(mbx, mby, choice);
    // A zero vector wins unless motion clearly helps (keeps static areas not coded).
    if (!choice.four && choice.zero_sad <= choice.one_sad + 64) {
        choice.one = MotionVector{};
        choice.one_sad = choice.zero_sad;
    }
    const int inter_sad = choice.one_sad;
    if (prefer_intra(mbx, mby, inter_sad)) {
        writer.put(0, 1);
        encode_intra_macroblock(writer, mbx, mby, true, true);
        return;
    }
    intra_.current(mbx).intra = false;
    predict_macroblock(routines_, *reference_, *current_, mbx, mby,
                       choice.four ? choice.blocks : &choice.one, choice.four);
    // Residual levels of the six blocks against the prediction.
    alignas(16) int16_t levels[6][64];
    int cbp = 0;
    for (int b = 0; b < 6; ++b) {
        const BlockPlace target = block_place(source_, mbx, mby, b);
        const BlockPlace predicted = block_place(*current_, mbx, mby, b);
        alignas(16) int16_t residual[64];
        for (int r = 0; r < 8; ++r) {
            const uint8_t* s = target.pixels + r * target.stride;
            const uint8_t* p = predicted.pixels + r * predicted.stride;
            for (int i = 0; i < 8; ++i) residual[r * 8 + i] = static_cast<int16_t>(s[i] - p[i]);
        }
        float coefficients[64];
        forward_dct(residual, coefficients);
        if (quantise_inter(coefficients, quantiser_, levels[b])) cbp |= 1 << (5 - b);
    }
    const bool zero_vector = !choice.four && choice.one.x == 0 && choice.one.y == 0;
    if (zero_vector && cbp == 0) {
        // Not coded: the prediction above is exactly the co-located copy the decoder makes.
        writer.put(1, 1);
        vectors_.set_all(mbx, mby, MotionVector{});
        ++stats_.not_coded_macroblocks;
        return;
    }
    const CodecTables& t = codec_tables();
    writer.put(0, 1);
    const CodeWord mcbpc = t.mcbpc_words[(choice.four ? 4 : 0) + (cbp & 3)];
    writer.put(mcbpc.code, mcbpc.length);
    const CodeWord cbpy = t.cbpy_words[15 - (cbp >> 2)];
    writer.put(cbpy.code, cbpy.length);
    if (!choice.four) {
        write_vector(writer, choice.one, vectors_.predict(mbx, mby, 0));
        vectors_.set_all(mbx, mby, choice.one);
        ++stats_.one_vector_macroblocks;
    } else {
        for (int b = 0; b < 4; ++b) {
            write_vector(writer, choice.blocks[b], vectors_.predict(mbx, mby, b));
            vectors_.at(mbx, mby, b) = choice.blocks[b];
        }
        ++stats_.four_vector_macroblocks;
    }
    const CoefTable table = inter_coef_table();
    for (int b = 0; b < 6; ++b) {
        if (((cbp >> (5 - b)) & 1) == 0) continue;
        write_coefficients(writer, table, kZigzagScan, 0, levels[b]);
        int highest = 0;
        for (int i = 63; i > 0; --i) {
            if (levels[b][kZigzagScan[i]] != 0) {
                highest = i;
                break;
            }
        }
        routines_.dequant_inter(levels[b], quantiser_);
        add_residual(routines_, levels[b], highest == 0, block_place(*current_, mbx, mby, b));
    }
}

}  // namespace orvel::codec::c4321
