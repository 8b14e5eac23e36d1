#pragma once
// Encoder for codec-4321 pictures, used by the DVR simulator and the tests.
//
// Its reconstruction is computed by the decoder's own prediction and arithmetic routines, so a
// decoder fed the encoder's pictures in order reproduces the reconstruction bit for bit.
// One thread at a time; buffers are reused, nothing is allocated per picture once the first
// picture has been encoded.
#include <cstdint>
#include <vector>

#include "codec/c4321/bit_writer.h"
#include "codec/c4321/picture.h"
#include "codec/c4321/prediction.h"
#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {

enum class PictureType { intra, inter };

struct EncoderSettings {
    int search_range_px = 3;     // full-pixel search around zero and the predicted vector
    bool four_vectors = true;    // try four vectors per macroblock
    bool intra_in_inter = true;  // allow intra macroblocks in inter pictures
};

struct EncoderStats {
    int intra_macroblocks = 0;
    int one_vector_macroblocks = 0;
    int four_vector_macroblocks = 0;
    int not_coded_macroblocks = 0;
    int ac_predicted_macroblocks = 0;
};

class Encoder {
public:
    // Pictures of width x height; only whole 16 x 16 macroblocks are coded (the decoder shows
    // the rest black). Uses the process's routine set unless one is given.
    Encoder(int width, int height);
    Encoder(int width, int height, const RoutineSet& routines);

    bool valid() const { return valid_; }

    // Encodes a planar 4:2:0 picture (luma width x height, chroma width/2 x height/2) with
    // quantiser code 0..3 (quantiser 4, 6, 8, 10). The returned bytes stay valid until the next
    // call.
    const std::vector<uint8_t>& encode_planar(const uint8_t* y, int y_stride, const uint8_t* u, const uint8_t* v,
                                              int chroma_stride, PictureType type, int q_code);
    // Same for a packed YUY2 picture (stride width * 2); chroma rows are averaged in pairs.
    const std::vector<uint8_t>& encode_yuy2(const uint8_t* yuy2, PictureType type, int q_code);

    // The reconstruction of the last picture (what the decoder shows).
    const Picture& reconstruction() const { return *reference_; }
    void write_reconstruction_yuy2(uint8_t* output) const;

    EncoderSettings& settings() { return settings_; }
    const EncoderStats& stats() const { return stats_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct MotionChoice;
    void encode_picture(BitWriter& writer, PictureType type);
    void encode_intra_macroblock(BitWriter& writer, int mbx, int mby, bool in_inter, bool inter_picture);
    void encode_inter_macroblock(BitWriter& writer, int mbx, int mby);
    void search_motion(int mbx, int mby, MotionChoice& choice);
    bool prefer_intra(int mbx, int mby, int inter_sad) const;
    void write_vector(BitWriter& writer, MotionVector v, MotionVector predicted);

    const RoutineSet& routines_;
    EncoderSettings settings_;
    EncoderStats stats_;
    int width_;
    int height_;
    int mb_columns_ = 0;
    int mb_rows_ = 0;
    int quantiser_ = 4;
    bool valid_ = false;
    Picture source_;
    Picture pictures_[2];
    Picture* current_ = &pictures_[0];
    Picture* reference_ = &pictures_[1];
    IntraPredictor intra_;
    VectorField vectors_;
    std::vector<uint8_t> output_;
};

// Forward 8 x 8 DCT (orthonormal scaling, so that the DC is 8 x the mean) of pixel or
// residual values. Used by the encoder only; its precision does not affect the bitstream's
// decoding.
void forward_dct(const int16_t* input, float* output);

}  // namespace orvel::codec::c4321
