#include "codec/c4321/prediction.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {
namespace {

inline int16_t clamp_level(int v) {
    return static_cast<int16_t>(v < -2048 ? -2048 : (v > 2047 ? 2047 : v));
}

// Division by 8 rounded away from zero, as for the predicted DC.
inline int dc_divide(int v) { return v > 0 ? (v + 4) / 8 : (v - 4) / 8; }

const BlockRecord kAbsent{};

}  // namespace

void IntraPredictor::reset(int mb_columns) {
    mb_columns_ = mb_columns;
    rows_[0].assign(static_cast<size_t>(mb_columns), MacroblockRecord{});
    rows_[1].assign(static_cast<size_t>(mb_columns), MacroblockRecord{});
}

void IntraPredictor::start_picture() {
    for (auto& row : rows_) {
        for (auto& mb : row) mb.intra = false;
    }
}

void IntraPredictor::next_row() {
    current_ ^= 1;
    for (auto& mb : rows_[current_]) mb.intra = false;
}

const BlockRecord* IntraPredictor::record(int row, int mbx, int block) const {
    if (mbx < 0 || mbx >= mb_columns_) return nullptr;
    const MacroblockRecord& mb = rows_[row][mbx];
    return mb.intra ? &mb.blocks[block] : nullptr;
}

IntraPrediction IntraPredictor::predict(int mbx, int block) const {
    const int cur = current_;
    const int prev = current_ ^ 1;
    const BlockRecord* left = nullptr;
    const BlockRecord* upper_left = nullptr;
    const BlockRecord* upper = nullptr;
    switch (block) {
        case 0:
            left = record(cur, mbx - 1, 1);
            upper_left = record(prev, mbx - 1, 3);
            upper = record(prev, mbx, 2);
            break;
        case 1:
            left = &rows_[cur][mbx].blocks[0];
            upper_left = record(prev, mbx, 2);
            upper = record(prev, mbx, 3);
            break;
        case 2:
            left = record(cur, mbx - 1, 3);
            upper_left = record(cur, mbx - 1, 1);
            upper = &rows_[cur][mbx].blocks[0];
            break;
        case 3:
            left = &rows_[cur][mbx].blocks[2];
            upper_left = &rows_[cur][mbx].blocks[0];
            upper = &rows_[cur][mbx].blocks[1];
            break;
        default:
            left = record(cur, mbx - 1, block);
            upper_left = record(prev, mbx - 1, block);
            upper = record(prev, mbx, block);
            break;
    }
    const int a = (left ? left : &kAbsent)->dc;
    const int b = (upper_left ? upper_left : &kAbsent)->dc;
    const int c = (upper ? upper : &kAbsent)->dc;
    IntraPrediction prediction;
    if (std::abs(a - b) < std::abs(b - c)) {
        prediction.direction = PredictFrom::upper;
        prediction.dc_level = dc_divide(c);
        prediction.source = upper;
    } else {
        prediction.direction = PredictFrom::left;
        prediction.dc_level = dc_divide(a);
        prediction.source = left;
    }
    return prediction;
}

bool reconstruct_intra_levels(int16_t* block, const IntraPrediction& prediction, bool ac_prediction,
                              BlockRecord& record) {
    const int dc_level = prediction.dc_level + block[0];
    block[0] = clamp_level(dc_level * 8);
    const BlockRecord* source = ac_prediction ? prediction.source : nullptr;
    if (source != nullptr && prediction.direction == PredictFrom::left) {
        for (int i = 1; i < 8; ++i) block[i * 8] = clamp_level(block[i * 8] + source->column[i]);
    }
    record.dc = block[0];
    for (int i = 1; i < 8; ++i) record.column[i] = block[i * 8];
#if defined(__SSE2__)
    // The first row eight levels at a time. A record's row[0] is always zero, so adding a whole
    // row leaves the DC as it is; the stored row gets a zero in place of the DC.
    const __m128i not_dc = _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1);
    __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    if (source != nullptr && prediction.direction == PredictFrom::upper) {
        const __m128i sum =
            _mm_add_epi16(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(source->row)));
        first = _mm_max_epi16(_mm_min_epi16(sum, _mm_set1_epi16(2047)), _mm_set1_epi16(-2048));
        _mm_store_si128(reinterpret_cast<__m128i*>(block), first);
    }
    const __m128i first_ac = _mm_and_si128(first, not_dc);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(record.row), first_ac);
    __m128i any = first_ac;
    for (int r = 1; r < 8; ++r)
        any = _mm_or_si128(any, _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * r)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF;
#else
    if (source != nullptr && prediction.direction == PredictFrom::upper) {
        for (int i = 1; i < 8; ++i) block[i] = clamp_level(block[i] + source->row[i]);
    }
    int any_ac = 0;
    for (int i = 1; i < 8; ++i) {
        record.row[i] = block[i];
        any_ac |= block[i];
    }
    for (int i = 8; i < 64; ++i) any_ac |= block[i];
    return any_ac != 0;
#endif
}

const uint8_t* intra_scan(const IntraPrediction& prediction, bool ac_prediction) {
    if (!ac_prediction) return kZigzagScan;
    return prediction.direction == PredictFrom::upper ? kAltHorizontalScan : kAltVerticalScan;
}

void VectorField::reset(int mb_columns, int mb_rows) {
    mb_columns_ = mb_columns;
    mb_rows_ = mb_rows;
    vectors_.assign(static_cast<size_t>(mb_columns) * static_cast<size_t>(mb_rows) * 4,
                    MotionVector{});
}

void VectorField::clear() {
    for (auto& v : vectors_) v = MotionVector{};
}

MotionVector VectorField::predict_at_edge(int mbx, int mby, int block) const {
    struct Candidate {
        int dx, dy, block;
    };
    static constexpr Candidate kCandidates[4][3] = {
        {{-1, 0, 1}, {0, -1, 2}, {1, -1, 2}},
        {{0, 0, 0}, {0, -1, 3}, {1, -1, 2}},
        {{-1, 0, 3}, {0, 0, 0}, {0, 0, 1}},
        {{0, 0, 2}, {0, 0, 0}, {0, 0, 1}},
    };
    MotionVector found[3];
    bool valid[3];
    int valid_count = 0;
    for (int i = 0; i < 3; ++i) {
        const Candidate& c = kCandidates[block][i];
        const int x = mbx + c.dx;
        const int y = mby + c.dy;
        valid[i] = x >= 0 && x < mb_columns_ && y >= 0 && y < mb_rows_;
        found[i] = valid[i] ? vectors_[(static_cast<size_t>(y) * mb_columns_ + x) * 4 + c.block]
                            : MotionVector{};
        valid_count += valid[i] ? 1 : 0;
    }
    if (valid_count == 1) {
        for (int i = 0; i < 3; ++i) {
            if (valid[i]) return found[i];
        }
    }
    if (valid_count == 0) return MotionVector{};
    MotionVector result;
    result.x = static_cast<int8_t>(median3(found[0].x, found[1].x, found[2].x));
    result.y = static_cast<int8_t>(median3(found[0].y, found[1].y, found[2].y));
    return result;
}

}  // namespace orvel::codec::c4321
