#include "codec/c4321/picture_decoder.h"

#include <bit>
#include <cstring>

#include "codec/c4321/coefficients.h"
#include "codec/c4321/reconstruct.h"
#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {
namespace {

constexpr uint8_t kBlackLuma = 0;
constexpr uint8_t kBlackChroma = 128;

// Reads a code from a value lookup indexed by the next Bits bits. An undefined code takes
// all Bits bits and gives `fallback`.
template <int Bits>
inline int read_value(BitReader& reader, const ValueLookup* lookup, int fallback, bool& undefined) {
    const ValueLookup& entry = lookup[reader.peek(Bits)];
    if (entry.length == 0) {
        reader.skip(Bits);
        undefined = true;
        return fallback;
    }
    reader.skip(entry.length);
    return entry.value;
}

}  // namespace

int read_dc_differential(BitReader& reader, bool chroma) {
    const CodecTables& t = codec_tables();
    bool undefined = false;
    const int size =
        read_value<12>(reader, chroma ? t.dc_chroma.data() : t.dc_luma.data(), 0, undefined);
    if (size == 0) return 0;
    const int raw = static_cast<int>(reader.read(size));
    const int value = (raw >> (size - 1)) != 0 ? raw : raw - (1 << size) + 1;
    if (size > 8) reader.skip(1);
    return value;
}

PictureDecoder::PictureDecoder(int width, int height, const RoutineSet& routines)
    : routines_(routines), tables_(codec_tables()), width_(width), height_(height) {
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<long>(width) * height > kMaxArea) {
        return;
    }
    mb_columns_ = width / 16;
    mb_rows_ = height / 16;
    for (auto& p : pictures_) {
        if (!p.allocate(mb_columns_ * 16, mb_rows_ * 16)) return;
        p.fill(kBlackLuma, kBlackChroma);
    }
    intra_.reset(mb_columns_);
    vectors_.reset(mb_columns_, mb_rows_);
    valid_ = true;
}

int PictureDecoder::decode(const uint8_t* data, size_t length, uint8_t* yuy2_output) {
    if (!valid_ || data == nullptr || length == 0) return 0;
    BitReader reader(data, length);
    inter_ = reader.read_bit() != 0;
    quantiser_ = kQuantiserForCode[reader.read(2)];
    damaged_ = false;
    intra_.start_picture();
    for (int mby = 0; mby < mb_rows_; ++mby) {
        for (int mbx = 0; mbx < mb_columns_; ++mbx) {
            if (!inter_) {
                const int chroma_flags = static_cast<int>(reader.read(2));
                decode_intra_macroblock(reader, mbx, mby, chroma_flags, false);
                continue;
            }
            if (reader.read_bit() != 0) {
                decode_not_coded(mbx, mby);
                continue;
            }
            bool undefined = false;
            const int mcbpc = read_value<6>(reader, tables_.mcbpc.data(), 0, undefined);
            const int kind = mcbpc >> 2;
            if (kind == 2) {
                decode_intra_macroblock(reader, mbx, mby, mcbpc & 3, true);
            } else {
                decode_inter_macroblock(reader, mbx, mby, kind, mcbpc & 3);
            }
        }
        intra_.next_row();
        finish_row(mby, yuy2_output);
    }
    reader.align_to_byte();
    damaged_ = damaged_ || reader.overrun();
    current_->extend_top_bottom();
    if (yuy2_output != nullptr) {
        write_yuy2_rows(*current_, width_, mb_rows_ * 16, height_, routines_, yuy2_output);
    }
    Picture* done = current_;
    current_ = reference_;
    reference_ = done;
    const size_t used = reader.bytes_used();
    return static_cast<int>(used < 1 ? 1 : (used > length ? length : used));
}

void PictureDecoder::decode_intra_macroblock(BitReader& reader, int mbx, int mby, int chroma_flags,
                                             bool in_inter) {
    const bool ac_prediction = reader.read_bit() != 0;
    bool undefined = false;
    const int cbpy = read_value<6>(reader, tables_.cbpy.data(), 0, undefined);
    damaged_ = damaged_ || undefined;
    const int cbp = (cbpy << 2) | chroma_flags;
    if (in_inter) vectors_.set_all(mbx, mby, MotionVector{});
    MacroblockRecord& record = intra_.current(mbx);
    record.intra = true;
    const CoefTable table = intra_coef_table();
    for (int b = 0; b < 6; ++b) {
        int16_t* block = coefficients_;
        const IntraPrediction prediction = intra_.predict(mbx, b);
        block[0] = static_cast<int16_t>(read_dc_differential(reader, b >= 4));
        if ((cbp >> (5 - b)) & 1) {
            int highest = 0;
            if (!read_coefficients(reader, table, intra_scan(prediction, ac_prediction), 1, block,
                                   highest)) {
                damaged_ = true;
            }
        }
        const bool any_ac =
            reconstruct_intra_levels(block, prediction, ac_prediction, record.blocks[b]);
        put_intra_block(routines_, block, any_ac, quantiser_, block_place(*current_, mbx, mby, b));
        std::memset(block, 0, sizeof coefficients_);
    }
}

// Starts loading reference rows that the next macroblocks will most likely read: under the
// current vector, 64 pixels to the right, a quarter of the luma rows (an eighth of the chroma
// rows) per macroblock. Addresses are formed as integers: near the picture's end they may lie
// past its planes, where a prefetch does nothing.
void PictureDecoder::prefetch_reference(int mbx, int mby, MotionVector v) const {
    const Plane& y = reference_->y;
    const uintptr_t luma =
        reinterpret_cast<uintptr_t>(y.origin) +
        static_cast<uintptr_t>((mby * 16 + (v.y >> 1) + (mbx & 3) * 4) * y.stride + mbx * 16 +
                               (v.x >> 1) + 64);
    for (int i = 0; i < 4; ++i) {
        __builtin_prefetch(
            reinterpret_cast<const void*>(luma + static_cast<uintptr_t>(i * y.stride)));
    }
    const Plane& u = reference_->u;
    const uintptr_t chroma = static_cast<uintptr_t>((mby * 8 + (v.y >> 2) + (mbx & 7)) * u.stride +
                                                    mbx * 8 + (v.x >> 2) + 32);
    __builtin_prefetch(
        reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(u.origin) + chroma));
    __builtin_prefetch(
        reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(reference_->v.origin) + chroma));
}

void PictureDecoder::decode_not_coded(int mbx, int mby) {
    vectors_.set_all(mbx, mby, MotionVector{});
    intra_.current(mbx).intra = false;
    const MotionVector zero{};
    prefetch_reference(mbx, mby, zero);
    predict_macroblock(routines_, *reference_, *current_, mbx, mby, &zero, false);
}

int PictureDecoder::read_vector_component(BitReader& reader, int predicted) {
    // Short codes come with their sign from one look; the rest from the full lookup.
    const ValueLookup& fast = tables_.mvd_fast[reader.peek(kFastMvdBits)];
    if (fast.length != 0) {
        reader.skip(fast.length);
        return wrap_component(predicted + fast.value);
    }
    bool undefined = false;
    int difference = read_value<12>(reader, tables_.mvd.data(), 0, undefined);
    damaged_ = damaged_ || undefined;
    if (difference != 0 && reader.read_bit() != 0) difference = -difference;
    return wrap_component(predicted + difference);
}

void PictureDecoder::read_residual(BitReader& reader, BlockPlace place) {
    int16_t* block = coefficients_;
    int highest = -1;
    if (!read_inter_coefficients(reader, quantiser_, block, highest)) damaged_ = true;
    if (highest < 0) return;
    add_residual(routines_, block, highest == 0, place);
    // Only what was written needs clearing for the next block.
    if (highest == 0) {
        block[0] = 0;
    } else {
        std::memset(block, 0, sizeof coefficients_);
    }
}

void PictureDecoder::decode_inter_macroblock(BitReader& reader, int mbx, int mby, int kind,
                                             int chroma_flags) {
    intra_.current(mbx).intra = false;
    bool undefined = false;
    const int cbpy = 15 - read_value<6>(reader, tables_.cbpy.data(), 15, undefined);
    damaged_ = damaged_ || undefined;
    const int cbp = (cbpy << 2) | chroma_flags;
    MotionVector vectors[4];
    const bool four = kind != 0;
    for (int b = 0; b < (four ? 4 : 1); ++b) {
        const MotionVector predicted = vectors_.predict(mbx, mby, b);
        MotionVector& v = vectors[b];
        v.x = static_cast<int8_t>(read_vector_component(reader, predicted.x));
        v.y = static_cast<int8_t>(read_vector_component(reader, predicted.y));
        if (four) {
            vectors_.at(mbx, mby, b) = v;
        } else {
            vectors_.set_all(mbx, mby, v);
        }
    }
    prefetch_reference(mbx, mby, vectors[0]);
    predict_macroblock(routines_, *reference_, *current_, mbx, mby, vectors, four);
    // Coded blocks in order: block b is bit 5 - b, so the highest set bit comes first.
    for (unsigned coded = static_cast<unsigned>(cbp); coded != 0;) {
        const int bit = std::bit_width(coded) - 1;
        coded &= ~(1u << bit);
        read_residual(reader, block_place(*current_, mbx, mby, 5 - bit));
    }
}

void PictureDecoder::finish_row(int mby, uint8_t* yuy2_output) {
    current_->extend_sides(mby * 16, 16);
    if (yuy2_output != nullptr) {
        write_yuy2_rows(*current_, width_, mby * 16, mby * 16 + 16, routines_, yuy2_output);
    }
}

void PictureDecoder::write_yuy2(uint8_t* output) const {
    if (!valid_ || output == nullptr) return;
    write_yuy2_picture(*reference_, width_, height_, routines_, output);
}

void write_yuy2_picture(const Picture& picture, int width, int height, const RoutineSet& routines,
                        uint8_t* output) {
    write_yuy2_rows(picture, width, 0, height, routines, output);
}

void write_yuy2_rows(const Picture& picture, int width, int first_row, int end_row,
                     const RoutineSet& routines, uint8_t* output) {
    const size_t stride = static_cast<size_t>(width) * 2;
    const int coded_pairs = picture.y.width / 2;
    for (int y = first_row; y < end_row; ++y) {
        uint8_t* out = output + stride * static_cast<size_t>(y);
        int written_bytes = 0;
        if (y < picture.y.height && coded_pairs > 0) {
            routines.yuy2_row(picture.y.row(y), picture.u.row(y / 2), picture.v.row(y / 2),
                              coded_pairs, out);
            written_bytes = coded_pairs * 4;
        }
        for (size_t i = static_cast<size_t>(written_bytes); i < stride; ++i) {
            out[i] = (i & 1) != 0 ? kBlackChroma : kBlackLuma;
        }
    }
}

}  // namespace orvel::codec::c4321
