#pragma once
// Prediction state shared by the decoder and the encoder: intra DC/AC prediction records of
// the current and the previous macroblock row, and the motion vectors of the current picture
// with their median prediction. Both sides run exactly this code, so their pictures agree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {

// What a decoded intra block leaves for its neighbours: the reconstructed DC (level x 8,
// clamped) and the quantised levels of its first row and first column (index 1..7).
struct BlockRecord {
    int16_t dc = 1024;
    int16_t row[8] = {};  // row[0] and column[0] stay zero
    int16_t column[8] = {};
};

struct MacroblockRecord {
    bool intra = false;
    BlockRecord blocks[6];
};

enum class PredictFrom : uint8_t { left, upper };

struct IntraPrediction {
    PredictFrom direction = PredictFrom::left;
    int dc_level = 0;                     // predicted DC level (neighbour's DC / 8, rounded)
    const BlockRecord* source = nullptr;  // neighbour predicted from; null = absent
};

class IntraPredictor {
public:
    void reset(int mb_columns);
    // Call before the first macroblock of a picture and after each macroblock row.
    void start_picture();
    void next_row();

    // Prediction for block 0..5 of macroblock column mbx in the current row.
    IntraPrediction predict(int mbx, int block) const;
    MacroblockRecord& current(int mbx) { return rows_[current_][mbx]; }

private:
    const BlockRecord* record(int row, int mbx, int block) const;
    std::vector<MacroblockRecord> rows_[2];
    int current_ = 0;
    int mb_columns_ = 0;
};

// Adds the prediction to the levels of an intra block in place: block[0] holds the DC
// differential plus nothing else on entry and the reconstructed DC (level x 8, clamped to
// -2048..2047) on return; with AC prediction the neighbour's first row or column is added.
// Levels are clamped to -2048..2047. Stores the block's record. Returns true when any AC
// level is non-zero. The block must be 16-byte aligned.
bool reconstruct_intra_levels(int16_t* block, const IntraPrediction& prediction, bool ac_prediction,
                              BlockRecord& record);

// The scan used for an intra block.
const uint8_t* intra_scan(const IntraPrediction& prediction, bool ac_prediction);

struct MotionVector {
    int8_t x = 0;
    int8_t y = 0;
};

class VectorField {
public:
    void reset(int mb_columns, int mb_rows);
    void clear();
    MotionVector& at(int mbx, int mby, int block) {
        return vectors_[(static_cast<size_t>(mby) * mb_columns_ + mbx) * 4 + block];
    }
    MotionVector at(int mbx, int mby, int block) const {
        return vectors_[(static_cast<size_t>(mby) * mb_columns_ + mbx) * 4 + block];
    }
    void set_all(int mbx, int mby, MotionVector v) {
        // One 8-byte store of the vector four times.
        static_assert(sizeof(MotionVector) == 2);
        uint16_t one;
        std::memcpy(&one, &v, sizeof one);
        const uint64_t four = one * 0x0001000100010001ull;
        std::memcpy(static_cast<void*>(&at(mbx, mby, 0)), &four, sizeof four);
    }
    // Median prediction of luma block 0..3 of macroblock (mbx, mby) from the left, upper and
    // upper-right candidates; candidates outside the picture: one -> zero, two -> the third
    // alone, three -> zero vector.
    MotionVector predict(int mbx, int mby, int block) const {
        if (mbx > 0 && mby > 0 && mbx + 1 < mb_columns_) return predict_inside(mbx, mby, block);
        return predict_at_edge(mbx, mby, block);
    }

private:
    static int median3(int a, int b, int c) {
        const int lo = a < b ? a : b;
        const int hi = a < b ? b : a;
        return c < lo ? lo : (c > hi ? hi : c);
    }
    // Inside the picture every candidate exists.
    MotionVector predict_inside(int mbx, int mby, int block) const {
        const size_t here = (static_cast<size_t>(mby) * mb_columns_ + mbx) * 4;
        const size_t row = static_cast<size_t>(mb_columns_) * 4;
        const size_t at[4][3] = {
            {here - 4 + 1, here - row + 2, here - row + 4 + 2},
            {here + 0, here - row + 3, here - row + 4 + 2},
            {here - 4 + 3, here + 0, here + 1},
            {here + 2, here + 0, here + 1},
        };
        const MotionVector a = vectors_[at[block][0]];
        const MotionVector b = vectors_[at[block][1]];
        const MotionVector c = vectors_[at[block][2]];
        MotionVector result;
        result.x = static_cast<int8_t>(median3(a.x, b.x, c.x));
        result.y = static_cast<int8_t>(median3(a.y, b.y, c.y));
        return result;
    }
    MotionVector predict_at_edge(int mbx, int mby, int block) const;

    std::vector<MotionVector> vectors_;
    int mb_columns_ = 0;
    int mb_rows_ = 0;
};

// Brings a vector component into -32..31 half pixels.
inline int wrap_component(int v) {
    if (v < -32) return v + 64;
    if (v > 31) return v - 64;
    return v;
}

// Chroma vector component from one luma vector component or from the sum of four.
inline int chroma_from_one(int v) { return (v >> 1) + kChromaRound2[v & 3]; }
inline int chroma_from_four(int sum) { return (sum >> 3) + kChromaRound4[sum & 15]; }

}  // namespace orvel::codec::c4321
