#include "mpeg4_reader.h"

#include <vector>

#include "codec/c4321/tables.h"

namespace orvel::codec::c4321::testing {
namespace {

// Macroblock type and chroma pattern codes of MPEG-4 I- and P-pictures (test data; the codec
// itself uses its own inter-picture table). value = type * 4 + cbpc; -1 = stuffing.
struct McbpcDef {
    int value;
    const char* bits;
};
const McbpcDef kIntraMcbpc[] = {
    {12, "1"},      {13, "001"},    {14, "010"},    {15, "011"},    {16, "0001"},
    {17, "000001"}, {18, "000010"}, {19, "000011"}, {-1, "000000001"},
};
const McbpcDef kInterMcbpc[] = {
    {0, "1"},          {1, "0011"},       {2, "0010"},       {3, "000101"},    {4, "011"},
    {5, "0000111"},    {6, "0000110"},    {7, "000000101"},  {8, "010"},       {9, "0000101"},
    {10, "0000100"},   {11, "00000101"},  {12, "00011"},     {13, "00000100"}, {14, "00000011"},
    {15, "0000011"},   {16, "000100"},    {17, "000000100"}, {18, "000000111"}, {19, "000000110"},
    {-1, "000000001"},
};

constexpr int kNoCode = -2;

// Reads a code of a small table by trying every entry (test code: speed does not matter).
template <size_t N>
int read_small(BitReader& r, const McbpcDef (&defs)[N]) {
    for (const McbpcDef& d : defs) {
        const CodeWord w = parse_code_bits(d.bits);
        if (r.peek(w.length) == w.code) {
            r.skip(w.length);
            return d.value;
        }
    }
    return kNoCode;
}

int read_value(BitReader& r, const ValueLookup* lookup, int bits) {
    const ValueLookup& e = lookup[r.peek(bits)];
    if (e.length == 0) return kNoCode;
    r.skip(e.length);
    return e.value;
}

bool find_start_code(BitReader& r, size_t size, uint32_t& code) {
    r.align_to_byte();
    while (r.position_bits() / 8 + 4 <= size) {
        if (r.peek(24) == 1) {
            r.skip(24);
            code = r.read(8);
            return true;
        }
        r.skip(8);
    }
    return false;
}

}  // namespace

Mpeg4Reader::Mpeg4Reader(int width, int height)
    : width_(width), height_(height), mb_columns_(width / 16), mb_rows_(height / 16) {
    for (auto& p : pictures_) {
        p.allocate(mb_columns_ * 16, mb_rows_ * 16);
        p.fill(0, 128);
    }
    intra_.reset(mb_columns_);
    vectors_.reset(mb_columns_, mb_rows_);
}

bool Mpeg4Reader::decode(const uint8_t* data, size_t size) {
    BitReader r(data, size);
    uint32_t code = 0;
    while (find_start_code(r, size, code)) {
        if (code >= 0x20 && code <= 0x2F) {
            if (!read_vol(r)) return false;
        } else if (code == 0xB6) {
            if (!have_vol_) return fail("picture before its layer header");
            return read_vop(r);
        }
    }
    return fail("no picture");
}

bool Mpeg4Reader::read_vol(BitReader& r) {
    r.skip(1);  // random accessible
    r.skip(8);  // object type
    int verid = 1;
    if (r.read_bit()) {
        verid = static_cast<int>(r.read(4));
        r.skip(3);
    }
    if (r.read(4) == 15) r.skip(16);  // extended pixel aspect ratio
    if (r.read_bit()) {                 // control parameters
        r.skip(3);
        if (r.read_bit()) r.skip(79);   // buffer parameters
    }
    if (r.read(2) != 0) return fail("shape not rectangular");
    r.skip(1);
    const int resolution = static_cast<int>(r.read(16));
    r.skip(1);
    time_increment_bits_ = 1;
    while ((1 << time_increment_bits_) < resolution) ++time_increment_bits_;
    if (r.read_bit()) r.skip(time_increment_bits_);
    r.skip(1);
    const int width = static_cast<int>(r.read(13));
    r.skip(1);
    const int height = static_cast<int>(r.read(13));
    r.skip(1);
    if (width != width_ || height != height_) return fail("size differs");
    if (r.read_bit()) return fail("interlaced");
    r.skip(1);  // overlapped motion compensation disabled
    if (r.read(verid == 1 ? 1 : 2) != 0) return fail("sprites");
    if (r.read_bit()) return fail("not 8 bit");
    if (r.read_bit()) return fail("MPEG quantisation");
    if (verid != 1 && r.read_bit()) return fail("quarter sample");
    if (!r.read_bit()) return fail("complexity estimation");
    r.skip(1);  // resync marker disable: markers are looked for nowhere
    if (r.read_bit()) return fail("data partitioning");
    if (verid != 1) {
        if (r.read_bit()) return fail("newpred");
        if (r.read_bit()) return fail("reduced resolution");
    }
    if (r.read_bit()) return fail("scalability");
    have_vol_ = true;
    return true;
}

bool Mpeg4Reader::read_vop(BitReader& r) {
    const int type = static_cast<int>(r.read(2));
    if (type > 1) return fail("B or S picture");
    inter_ = type == 1;
    while (r.read_bit()) {
    }
    r.skip(1);
    r.skip(time_increment_bits_);
    r.skip(1);
    if (!r.read_bit()) {
        // Not coded: the picture repeats.
        return true;
    }
    rounding_ = inter_ ? static_cast<int>(r.read_bit()) : 0;
    if (r.read(3) != 0) return fail("intra DC threshold not 0");
    quantiser_ = static_cast<int>(r.read(5));
    if (inter_) fcode_ = static_cast<int>(r.read(3));
    if (quantiser_ > 4 || (quantiser_ & 1)) return fail("quantiser must be 2 or 4 (DC scaler 8)");
    intra_.start_picture();
    for (int mby = 0; mby < mb_rows_; ++mby) {
        for (int mbx = 0; mbx < mb_columns_; ++mbx) {
            bool ok;
            if (!inter_) {
                int value;
                do {
                    value = read_small(r, kIntraMcbpc);
                } while (value == -1);
                if (value == kNoCode) return fail("bad I MCBPC");
                ok = intra_macroblock(r, mbx, mby, value & 3, value >= 16);
            } else {
                if (r.read_bit()) {
                    // Not coded: co-located copy.
                    ++coverage_.not_coded;
                    vectors_.set_all(mbx, mby, MotionVector{});
                    intra_.current(mbx).intra = false;
                    predict(reference_->y, mbx * 16, mby * 16, 16, 0, 0, current_->y, mbx * 16, mby * 16);
                    predict(reference_->u, mbx * 8, mby * 8, 8, 0, 0, current_->u, mbx * 8, mby * 8);
                    predict(reference_->v, mbx * 8, mby * 8, 8, 0, 0, current_->v, mbx * 8, mby * 8);
                    continue;
                }
                int value;
                do {
                    value = read_small(r, kInterMcbpc);
                } while (value == -1);
                if (value == kNoCode) return fail("bad P MCBPC");
                const int mb_type = value >> 2;
                if (mb_type == 1 || mb_type == 4) return fail("quantiser change");
                if (mb_type == 3) {
                    ++coverage_.intra_in_inter;
                    ok = intra_macroblock(r, mbx, mby, value & 3, false);
                } else {
                    ok = inter_macroblock(r, mbx, mby, mb_type, value & 3);
                }
            }
            if (!ok) return false;
        }
        intra_.next_row();
    }
    if (r.overrun()) return fail("ran past the picture");
    current_->extend_edges();
    Picture* done = current_;
    current_ = reference_;
    reference_ = done;
    return true;
}

bool Mpeg4Reader::read_coefficients(BitReader& r, bool intra, const uint8_t* scan, int first, int16_t* block) {
    const CodecTables& t = codec_tables();
    const CoefLookup* lookup = intra ? t.intra_coef.data() : t.inter_coef.data();
    const CoefEncodeTable& limits = intra ? t.intra_encode : t.inter_encode;
    int position = first;
    for (;;) {
        int last;
        int run;
        int level;
        const CoefLookup* e = &lookup[r.peek(kCoefLookupBits)];
        if (e->length == 0) return fail("undefined coefficient code");
        if (e->level != 0) {
            r.skip(e->length);
            last = e->last;
            run = e->run;
            level = r.read_bit() ? -e->level : e->level;
        } else {
            r.skip(e->length);
            const int mode = r.read_bit() ? (r.read_bit() ? 3 : 2) : 1;
            ++coverage_.escapes[mode];
            if (mode == 3) {
                last = static_cast<int>(r.read(1));
                run = static_cast<int>(r.read(6));
                if (!r.read_bit()) return fail("marker");
                level = static_cast<int>(r.read(12));
                if (level >= 2048) level -= 4096;
                if (!r.read_bit()) return fail("marker");
            } else {
                e = &lookup[r.peek(kCoefLookupBits)];
                if (e->length == 0 || e->level == 0) return fail("bad escaped code");
                r.skip(e->length);
                last = e->last;
                run = e->run;
                int magnitude = e->level;
                if (mode == 1) {
                    magnitude += limits.max_level[last][run];
                } else {
                    run += limits.max_run[last][magnitude] + 1;
                }
                level = r.read_bit() ? -magnitude : magnitude;
            }
        }
        position += run;
        if (position > 63) return fail("run past the block");
        block[scan[position]] = static_cast<int16_t>(level);
        ++position;
        if (last) return true;
    }
}

bool Mpeg4Reader::read_intra_block(BitReader& r, int mbx, int block, bool ac_prediction, bool coded,
                                   int16_t* out) {
    const CodecTables& t = codec_tables();
    const IntraPrediction prediction = intra_.predict(mbx, block);
    const int size = read_value(r, block < 4 ? t.dc_luma.data() : t.dc_chroma.data(), 12);
    if (size == kNoCode) return fail("bad DC size");
    int differential = 0;
    if (size > 0) {
        const int raw = static_cast<int>(r.read(size));
        differential = (raw >> (size - 1)) ? raw : raw - (1 << size) + 1;
        if (size > 8 && !r.read_bit()) return fail("DC marker");
    }
    out[0] = static_cast<int16_t>(differential);
    if (coded && !read_coefficients(r, true, intra_scan(prediction, ac_prediction), 1, out)) return false;
    reconstruct_intra_levels(out, prediction, ac_prediction, intra_.current(mbx).blocks[block]);
    return true;
}

bool Mpeg4Reader::intra_macroblock(BitReader& r, int mbx, int mby, int cbpc, bool has_dquant) {
    const bool ac_prediction = r.read_bit() != 0;
    coverage_.ac_predicted += ac_prediction ? 1 : 0;
    const int cbpy = read_value(r, codec_tables().cbpy.data(), 6);
    if (cbpy == kNoCode) return fail("bad CBPY");
    if (has_dquant && r.read(2) != 0) return fail("quantiser change");
    const int cbp = (cbpy << 2) | cbpc;
    vectors_.set_all(mbx, mby, MotionVector{});
    intra_.current(mbx).intra = true;
    const RoutineSet& set = plain_routines();
    for (int b = 0; b < 6; ++b) {
        alignas(16) int16_t block[64] = {};
        if (!read_intra_block(r, mbx, b, ac_prediction, (cbp >> (5 - b)) & 1, block)) return false;
        set.dequant_intra(block, quantiser_);
        const Plane& plane = b < 4 ? current_->y : (b == 4 ? current_->u : current_->v);
        const int x = b < 4 ? mbx * 16 + (b & 1) * 8 : mbx * 8;
        const int y = b < 4 ? mby * 16 + (b >> 1) * 8 : mby * 8;
        set.idct_put(block, plane.row(y) + x, plane.stride);
    }
    return true;
}

int Mpeg4Reader::read_vector(BitReader& r, int predicted) {
    const int magnitude = read_value(r, codec_tables().mvd.data(), 12);
    if (magnitude == kNoCode) {
        fail("bad vector code");
        return 0;
    }
    int difference = 0;
    if (magnitude != 0) {
        const bool negative = r.read_bit() != 0;
        const int r_size = fcode_ - 1;
        const int residual = r_size > 0 ? static_cast<int>(r.read(r_size)) : 0;
        difference = ((magnitude - 1) << r_size) + residual + 1;
        if (negative) difference = -difference;
    }
    const int range = 32 << (fcode_ - 1);
    int v = predicted + difference;
    if (v < -range) v += 2 * range;
    if (v >= range) v -= 2 * range;
    return v;
}

void Mpeg4Reader::predict(const Plane& ref, int x, int y, int size, int vx, int vy, const Plane& dst, int dx,
                          int dy) {
    auto at = [&](int px, int py) {
        px = px < 0 ? 0 : (px >= ref.width ? ref.width - 1 : px);
        py = py < 0 ? 0 : (py >= ref.height ? ref.height - 1 : py);
        return static_cast<int>(ref.row(py)[px]);
    };
    const int fx = x + (vx >> 1);
    const int fy = y + (vy >> 1);
    const int hx = vx & 1;
    const int hy = vy & 1;
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            const int a = at(fx + i, fy + j);
            const int b = at(fx + i + 1, fy + j);
            const int c = at(fx + i, fy + j + 1);
            const int d = at(fx + i + 1, fy + j + 1);
            int value;
            if (!hx && !hy) {
                value = a;
            } else if (!hy) {
                value = (a + b + 1 - rounding_) >> 1;
            } else if (!hx) {
                value = (a + c + 1 - rounding_) >> 1;
            } else {
                value = (a + b + c + d + 2 - rounding_) >> 2;
            }
            dst.row(dy + j)[dx + i] = static_cast<uint8_t>(value);
        }
    }
}

bool Mpeg4Reader::inter_macroblock(BitReader& r, int mbx, int mby, int type, int cbpc) {
    intra_.current(mbx).intra = false;
    const int coded_cbpy = read_value(r, codec_tables().cbpy.data(), 6);
    if (coded_cbpy == kNoCode) return fail("bad CBPY");
    const int cbp = ((15 - coded_cbpy) << 2) | cbpc;
    int chroma_x;
    int chroma_y;
    if (type == 0) {
        const MotionVector p = vectors_.predict(mbx, mby, 0);
        const int vx = read_vector(r, p.x);
        const int vy = read_vector(r, p.y);
        if (!error_.empty()) return false;
        if (vx < -32 || vx > 31 || vy < -32 || vy > 31) return fail("vector beyond the codec's range");
        vectors_.set_all(mbx, mby, MotionVector{static_cast<int8_t>(vx), static_cast<int8_t>(vy)});
        predict(reference_->y, mbx * 16, mby * 16, 16, vx, vy, current_->y, mbx * 16, mby * 16);
        chroma_x = chroma_from_one(vx);
        chroma_y = chroma_from_one(vy);
    } else {
        ++coverage_.four_vector;
        int sx = 0;
        int sy = 0;
        for (int b = 0; b < 4; ++b) {
            const MotionVector p = vectors_.predict(mbx, mby, b);
            const int vx = read_vector(r, p.x);
            const int vy = read_vector(r, p.y);
            if (!error_.empty()) return false;
            if (vx < -32 || vx > 31 || vy < -32 || vy > 31) return fail("vector beyond the codec's range");
            vectors_.at(mbx, mby, b) = MotionVector{static_cast<int8_t>(vx), static_cast<int8_t>(vy)};
            sx += vx;
            sy += vy;
            const int x = mbx * 16 + (b & 1) * 8;
            const int y = mby * 16 + (b >> 1) * 8;
            predict(reference_->y, x, y, 8, vx, vy, current_->y, x, y);
        }
        chroma_x = chroma_from_four(sx);
        chroma_y = chroma_from_four(sy);
    }
    predict(reference_->u, mbx * 8, mby * 8, 8, chroma_x, chroma_y, current_->u, mbx * 8, mby * 8);
    predict(reference_->v, mbx * 8, mby * 8, 8, chroma_x, chroma_y, current_->v, mbx * 8, mby * 8);
    const RoutineSet& set = plain_routines();
    for (int b = 0; b < 6; ++b) {
        if (((cbp >> (5 - b)) & 1) == 0) continue;
        alignas(16) int16_t block[64] = {};
        if (!read_coefficients(r, false, kZigzagScan, 0, block)) return false;
        set.dequant_inter(block, quantiser_);
        const Plane& plane = b < 4 ? current_->y : (b == 4 ? current_->u : current_->v);
        const int x = b < 4 ? mbx * 16 + (b & 1) * 8 : mbx * 8;
        const int y = b < 4 ? mby * 16 + (b >> 1) * 8 : mby * 8;
        set.idct_add(block, plane.row(y) + x, plane.stride);
    }
    return true;
}

}  // namespace orvel::codec::c4321::testing
