// Encoder: forward transform, quantisation and intra macroblock coding.
#include <cmath>
#include <cstdlib>

#include "codec/c4321/coefficients.h"
#include "codec/c4321/encoder.h"
#include "codec/c4321/reconstruct.h"
#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {
namespace {

struct DctBasis {
    float values[8][8];  // [u][x]
    DctBasis() {
        const double pi = std::acos(-1.0);
        for (int u = 0; u < 8; ++u) {
            const double scale = u == 0 ? std::sqrt(0.125) : 0.5;
            for (int x = 0; x < 8; ++x) {
                values[u][x] = static_cast<float>(scale * std::cos((2 * x + 1) * u * pi / 16.0));
            }
        }
    }
};

const DctBasis& dct_basis() {
    static const DctBasis basis;
    return basis;
}

}  // namespace

void forward_dct(const int16_t* input, float* output) {
    const DctBasis& b = dct_basis();
    float rows[64];
    for (int y = 0; y < 8; ++y) {
        for (int u = 0; u < 8; ++u) {
            float sum = 0.0f;
            for (int x = 0; x < 8; ++x)
                sum += b.values[u][x] * static_cast<float>(input[y * 8 + x]);
            rows[y * 8 + u] = sum;
        }
    }
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            float sum = 0.0f;
            for (int y = 0; y < 8; ++y) sum += b.values[v][y] * rows[y * 8 + u];
            output[v * 8 + u] = sum;
        }
    }
}

namespace {

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void gather_block(const Plane& plane, int x, int y, int16_t* out) {
    for (int r = 0; r < 8; ++r) {
        const uint8_t* row = plane.row(y + r) + x;
        for (int c = 0; c < 8; ++c) out[r * 8 + c] = row[c];
    }
}

// Intra levels: DC = round(F0 / 8) in 1..254; AC = F / (2q) with a small rounding offset.
void quantise_intra(const float* coefficients, int q, int16_t* levels) {
    levels[0] = static_cast<int16_t>(
        clamp_int(static_cast<int>(std::lround(coefficients[0] / 8.0f)), 1, 254));
    const float inverse = 1.0f / static_cast<float>(2 * q);
    for (int i = 1; i < 64; ++i) {
        const float magnitude = std::fabs(coefficients[i]) * inverse + 0.25f;
        const int level = clamp_int(static_cast<int>(magnitude), 0, 255);
        levels[i] = static_cast<int16_t>(coefficients[i] < 0 ? -level : level);
    }
}

void write_dc_differential(BitWriter& writer, int difference, bool chroma) {
    const CodecTables& t = codec_tables();
    const int magnitude = std::abs(difference);
    int size = 0;
    while ((1 << size) <= magnitude) ++size;
    const CodeWord word = chroma ? t.dc_chroma_words[size] : t.dc_luma_words[size];
    writer.put(word.code, word.length);
    if (size == 0) return;
    const int raw = difference > 0 ? difference : difference + (1 << size) - 1;
    writer.put(static_cast<uint32_t>(raw), size);
    if (size > 8) writer.put(1, 1);
}

}  // namespace

void Encoder::encode_intra_macroblock(BitWriter& writer, int mbx, int mby, bool in_inter,
                                      bool inter_picture) {
    (void)inter_picture;
    alignas(16) int16_t levels[6][64];
    IntraPrediction predictions[6];
    MacroblockRecord& record = intra_.current(mbx);
    record.intra = true;
    // Quantise all six blocks; the records (and so the predictions of later blocks) depend only
    // on the final levels, not on the AC-prediction choice made below.
    for (int b = 0; b < 6; ++b) {
        alignas(16) int16_t pixels[64];
        float coefficients[64];
        if (b < 4) {
            gather_block(source_.y, mbx * 16 + (b & 1) * 8, mby * 16 + (b >> 1) * 8, pixels);
        } else {
            gather_block(b == 4 ? source_.u : source_.v, mbx * 8, mby * 8, pixels);
        }
        forward_dct(pixels, coefficients);
        quantise_intra(coefficients, quantiser_, levels[b]);
        predictions[b] = intra_.predict(mbx, b);
        alignas(16) int16_t scratch[64];
        for (int i = 0; i < 64; ++i) scratch[i] = levels[b][i];
        scratch[0] = static_cast<int16_t>(levels[b][0] - predictions[b].dc_level);
        reconstruct_intra_levels(scratch, predictions[b], false, record.blocks[b]);
    }
    // AC prediction when it makes the first row/column smaller and keeps every level codable.
    int cost_plain = 0;
    int cost_predicted = 0;
    bool codable = true;
    for (int b = 0; b < 6; ++b) {
        const BlockRecord* source = predictions[b].source;
        const bool upper = predictions[b].direction == PredictFrom::upper;
        for (int i = 1; i < 8; ++i) {
            const int level = upper ? levels[b][i] : levels[b][i * 8];
            const int predicted = source ? (upper ? source->row[i] : source->column[i]) : 0;
            cost_plain += std::abs(level);
            cost_predicted += std::abs(level - predicted);
            codable = codable && std::abs(level - predicted) <= 255;
        }
    }
    const bool ac_prediction = codable && cost_predicted < cost_plain;
    if (ac_prediction) ++stats_.ac_predicted_macroblocks;
    // Residual levels as coded.
    alignas(16) int16_t coded[6][64];
    int cbp = 0;
    for (int b = 0; b < 6; ++b) {
        for (int i = 0; i < 64; ++i) coded[b][i] = levels[b][i];
        coded[b][0] = static_cast<int16_t>(levels[b][0] - predictions[b].dc_level);
        const BlockRecord* source = predictions[b].source;
        if (ac_prediction && source != nullptr) {
            if (predictions[b].direction == PredictFrom::upper) {
                for (int i = 1; i < 8; ++i)
                    coded[b][i] = static_cast<int16_t>(levels[b][i] - source->row[i]);
            } else {
                for (int i = 1; i < 8; ++i) {
                    coded[b][i * 8] = static_cast<int16_t>(levels[b][i * 8] - source->column[i]);
                }
            }
        }
        bool any = false;
        for (int i = 1; i < 64; ++i) any = any || coded[b][i] != 0;
        if (any) cbp |= 1 << (5 - b);
    }
    const CodecTables& t = codec_tables();
    if (in_inter) {
        const CodeWord mcbpc = t.mcbpc_words[8 + (cbp & 3)];
        writer.put(mcbpc.code, mcbpc.length);
    } else {
        writer.put(static_cast<uint32_t>(cbp & 3), 2);
    }
    writer.put(ac_prediction ? 1 : 0, 1);
    const CodeWord cbpy = t.cbpy_words[cbp >> 2];
    writer.put(cbpy.code, cbpy.length);
    if (in_inter) vectors_.set_all(mbx, mby, MotionVector{});
    const CoefTable table = intra_coef_table();
    for (int b = 0; b < 6; ++b) {
        // Decoder-identical reconstruction: prediction, levels, inverse quantisation, IDCT.
        const IntraPrediction prediction = intra_.predict(mbx, b);
        write_dc_differential(writer, coded[b][0], b >= 4);
        const uint8_t* scan = intra_scan(prediction, ac_prediction);
        if ((cbp >> (5 - b)) & 1) write_coefficients(writer, table, scan, 1, coded[b]);
        alignas(16) int16_t block[64];
        for (int i = 0; i < 64; ++i) block[i] = coded[b][i];
        const bool any_ac =
            reconstruct_intra_levels(block, prediction, ac_prediction, record.blocks[b]);
        put_intra_block(routines_, block, any_ac, quantiser_, block_place(*current_, mbx, mby, b));
    }
    ++stats_.intra_macroblocks;
}

}  // namespace orvel::codec::c4321
