#pragma once
// Test-only reader of MPEG-4 Simple-profile pictures restricted to what the codec's tables
// cover (H.263 quantisation, no resynchronisation markers or data partitioning, half-pixel
// vectors, no quantiser changes). It decodes with the codec's own code tables, scans,
// intra prediction, vector prediction and inverse DCT, so comparing its pictures with a
// reference MPEG-4 decoder checks those against the standard.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/c4321/bit_reader.h"
#include "codec/c4321/picture.h"
#include "codec/c4321/prediction.h"
#include "codec/c4321/routines.h"

namespace orvel::codec::c4321::testing {

// What the pictures read so far used (so a test can tell what it has covered).
struct Mpeg4Coverage {
    int ac_predicted = 0;
    int four_vector = 0;
    int intra_in_inter = 0;
    int not_coded = 0;
    int escapes[4] = {};  // by escape mode 1..3
};

class Mpeg4Reader {
public:
    const Mpeg4Coverage& coverage() const { return coverage_; }
    Mpeg4Reader(int width, int height);

    // Decodes one compressed frame (headers and one picture). False with a reason in error()
    // for syntax outside the supported subset or a broken stream.
    bool decode(const uint8_t* data, size_t size);

    const Picture& picture() const { return *reference_; }
    const std::string& error() const { return error_; }
    int quantiser() const { return quantiser_; }
    bool last_inter() const { return inter_; }

private:
    bool read_vol(BitReader& r);
    bool read_vop(BitReader& r);
    bool intra_macroblock(BitReader& r, int mbx, int mby, int cbpc, bool has_dquant);
    bool inter_macroblock(BitReader& r, int mbx, int mby, int type, int cbpc);
    bool read_intra_block(BitReader& r, int mbx, int block, bool ac_prediction, bool coded, int16_t* out);
    bool read_coefficients(BitReader& r, bool intra, const uint8_t* scan, int first, int16_t* block);
    int read_vector(BitReader& r, int predicted);
    void predict(const Plane& ref, int x, int y, int size, int vx, int vy, const Plane& dst, int dx, int dy);
    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }

    int width_;
    int height_;
    int mb_columns_;
    int mb_rows_;
    int time_increment_bits_ = 1;
    bool have_vol_ = false;
    int quantiser_ = 0;
    bool inter_ = false;
    int rounding_ = 0;
    int fcode_ = 1;
    std::string error_;
    Mpeg4Coverage coverage_;
    Picture pictures_[2];
    Picture* current_ = &pictures_[0];
    Picture* reference_ = &pictures_[1];
    IntraPredictor intra_;
    VectorField vectors_;
};

}  // namespace orvel::codec::c4321::testing
