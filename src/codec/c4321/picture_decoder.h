#pragma once
// Decodes codec-4321 pictures into planar 4:2:0 pictures (and packed YUY2 on request).
//
// A decoder keeps the reference picture between calls; it is used by one thread at a time.
// Damaged or truncated input gives a damaged picture, never a read outside the buffer.
#include <cstddef>
#include <cstdint>

#include "codec/c4321/bit_reader.h"
#include "codec/c4321/picture.h"
#include "codec/c4321/prediction.h"
#include "codec/c4321/reconstruct.h"
#include "codec/c4321/routines.h"
#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {

// Largest picture accepted (either side, and area), so that a bad stream header cannot make
// the decoder ask for gigabytes.
inline constexpr int kMaxSide = 8192;
inline constexpr long kMaxArea = 4096L * 4096L;

// Picture kinds and quantiser code as carried by the first three bits.
inline constexpr int kQuantiserForCode[4] = {4, 6, 8, 10};

class PictureDecoder {
public:
    // width and height are the stream's picture size; only whole macroblocks are coded, the
    // rest of the output picture stays black.
    PictureDecoder(int width, int height, const RoutineSet& routines);

    // False when the size is too large or memory could not be had.
    bool valid() const { return valid_; }

    // Decodes one picture. Returns the number of bytes used (at least 1), or 0 when nothing was
    // decoded (empty buffer or invalid decoder). With `yuy2_output` (width * height * 2 bytes)
    // the picture is also written there as packed YUY2, each macroblock row as soon as it is
    // decoded (while it is still in the cache); the result equals write_yuy2.
    int decode(const uint8_t* data, size_t length, uint8_t* yuy2_output = nullptr);

    // The picture decoded last (also the reference for the next inter picture).
    const Picture& picture() const { return *reference_; }

    // Writes the last picture as packed YUY2 (width * height * 2 bytes, stride width * 2).
    void write_yuy2(uint8_t* output) const;

    int width() const { return width_; }
    int height() const { return height_; }
    int quantiser() const { return quantiser_; }
    bool last_picture_inter() const { return inter_; }
    // True when the last picture had an undefined code or ran past its buffer.
    bool last_picture_damaged() const { return damaged_; }
    // Motion vectors of the last inter picture (zero for intra and not-coded macroblocks).
    const VectorField& vectors() const { return vectors_; }

private:
    void decode_intra_macroblock(BitReader& reader, int mbx, int mby, int chroma_flags,
                                 bool in_inter);
    void decode_inter_macroblock(BitReader& reader, int mbx, int mby, int kind, int chroma_flags);
    void decode_not_coded(int mbx, int mby);
    void prefetch_reference(int mbx, int mby, MotionVector v) const;
    int read_vector_component(BitReader& reader, int predicted);
    void read_residual(BitReader& reader, BlockPlace place);
    void finish_row(int mby, uint8_t* yuy2_output);

    const RoutineSet& routines_;
    const CodecTables& tables_;
    int width_;
    int height_;
    int mb_columns_ = 0;
    int mb_rows_ = 0;
    bool valid_ = false;
    int quantiser_ = 4;
    bool inter_ = false;
    bool damaged_ = false;
    Picture pictures_[2];
    Picture* current_ = &pictures_[0];
    Picture* reference_ = &pictures_[1];
    IntraPredictor intra_;
    VectorField vectors_;
    // Work block of one block's coefficients; all zero between blocks.
    alignas(16) int16_t coefficients_[64] = {};
};

// Writes a planar picture as packed YUY2 of the given output size; rows and columns outside
// the picture's planes are black. The second form writes only rows [first_row, end_row).
void write_yuy2_picture(const Picture& picture, int width, int height, const RoutineSet& routines,
                        uint8_t* output);
void write_yuy2_rows(const Picture& picture, int width, int first_row, int end_row,
                     const RoutineSet& routines, uint8_t* output);

// Decodes an intra block's DC size and differential. `chroma` selects the table.
int read_dc_differential(BitReader& reader, bool chroma);

}  // namespace orvel::codec::c4321
