// Hand-built pictures: picture header, not-coded pictures, vector wrap-around, escapes and
// damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "codec/c4321/bit_reader.h"
#include "codec/c4321/bit_writer.h"
#include "codec/c4321/codec4321_decoder.h"
#include "codec/c4321/coefficients.h"
#include "codec/c4321/encoder.h"
#include "codec/c4321/picture.h"
#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/prediction.h"
#include "codec/c4321/routines.h"
#include "codec/c4321/tables.h"
#include "synthetic.h"

namespace orvel::codec::c4321 {
namespace {

void put_word(BitWriter& w, CodeWord word) { w.put(word.code, word.length); }

// An intra picture of a textured scene to serve as reference.
std::vector<uint8_t> textured_intra(int width, int height, Encoder& encoder) {
    testing::PlanarFrame frame(width, height);
    std::mt19937 rng(3);
    testing::render_scene(frame, 7, 3.0, rng);
    return encoder.encode_planar(frame.y.data(), width, frame.u.data(), frame.v.data(), width / 2,
                                 PictureType::intra, 0);
}

TEST(BitReader, ReadsMostSignificantBitFirstAndGivesZerosPastTheEnd) {
    const uint8_t data[5] = {0xA5, 0x0F, 0xFF, 0x80, 0x01};
    BitReader r(data, 5);
    EXPECT_EQ(r.read(4), 0xAu);
    EXPECT_EQ(r.read(8), 0x50u);
    EXPECT_EQ(r.read(20), 0xFFF80u);
    EXPECT_EQ(r.read(8), 0x01u);
    EXPECT_FALSE(r.overrun());
    EXPECT_EQ(r.read(32), 0u);
    EXPECT_TRUE(r.overrun());
    // A reader over nothing is all zeros.
    BitReader empty(nullptr, 100);
    EXPECT_EQ(empty.read(25), 0u);
    // Partial words at the end are exact (heap buffer: the sanitizers watch the edges).
    std::vector<uint8_t> three = {0x12, 0x34, 0x56};
    BitReader tail(three.data(), three.size());
    tail.skip(3);
    EXPECT_EQ(tail.peek(32), (0x123456u << 11) & 0xFFFFFFFFu);
}

TEST(PictureHeader, FirstThreeBitsGivePictureKindAndQuantiser) {
    PictureDecoder decoder(32, 32, active_routines());
    Encoder encoder(32, 32);
    const auto intra = textured_intra(32, 32, encoder);
    ASSERT_GT(decoder.decode(intra.data(), intra.size()), 0);
    EXPECT_FALSE(decoder.last_picture_inter());
    EXPECT_EQ(decoder.quantiser(), 4);  // q-code 00
    // 1, 1, 1 then four not-coded macroblocks: inter picture with quantiser 10.
    const uint8_t inter_q10[1] = {0xFF};
    ASSERT_GT(decoder.decode(inter_q10, 1), 0);
    EXPECT_TRUE(decoder.last_picture_inter());
    EXPECT_EQ(decoder.quantiser(), 10);
    EXPECT_FALSE(decoder.last_picture_damaged());
}

TEST(Dequantisation, InterLevelThreeAtQuantiserFourIs27AndResultsClamp) {
    for (const RoutineSet* set : {&plain_routines(), sse2_routines(), avx2_routines()}) {
        if (set == nullptr) continue;
        alignas(16) int16_t block[64] = {};
        block[0] = 3;
        block[1] = -3;
        block[2] = 255;
        block[3] = -2048;
        block[5] = 300;
        set->dequant_inter(block, 4);
        EXPECT_EQ(block[5], 2047) << set->name;
        EXPECT_EQ(block[0], 27) << set->name;
        EXPECT_EQ(block[1], -27) << set->name;
        EXPECT_EQ(block[2], 2043) << set->name;  // 4 * 511 - 1, below the clamp
        EXPECT_EQ(block[3], -2048) << set->name;
        EXPECT_EQ(block[4], 0) << set->name;
        alignas(16) int16_t intra[64] = {};
        intra[0] = 1000;
        intra[1] = 1;
        set->dequant_intra(intra, 10);
        EXPECT_EQ(intra[0], 1000) << set->name;  // the DC is scaled by the caller
        EXPECT_EQ(intra[1], 29) << set->name;
    }
}

TEST(InterPicture, OnlyNotCodedMacroblocksReproduceTheReference) {
    const int width = 64;
    const int height = 48;
    Encoder encoder(width, height);
    PictureDecoder decoder(width, height, active_routines());
    const auto intra = textured_intra(width, height, encoder);
    ASSERT_GT(decoder.decode(intra.data(), intra.size()), 0);
    std::vector<uint8_t> before(width * height * 2);
    decoder.write_yuy2(before.data());
    // Header 1 00, then 12 macroblocks each a single 1 bit.
    std::vector<uint8_t> bytes;
    BitWriter w(bytes);
    w.put(0b100, 3);
    for (int i = 0; i < 12; ++i) w.put(1, 1);
    w.flush();
    ASSERT_EQ(decoder.decode(bytes.data(), bytes.size()), 2);
    std::vector<uint8_t> after(width * height * 2);
    decoder.write_yuy2(after.data());
    EXPECT_EQ(before, after);
    EXPECT_FALSE(decoder.last_picture_damaged());
}

// One-vector macroblock with no residual: 0 (coded), MCBPC "1", CBPY coded 15 (= no luma).
void put_vector_macroblock(BitWriter& w, int dx, int dy) {
    const CodecTables& t = codec_tables();
    w.put(0, 1);
    put_word(w, t.mcbpc_words[0]);
    put_word(w, t.cbpy_words[15]);
    for (int d : {dx, dy}) {
        const int m = d < 0 ? -d : d;
        put_word(w, t.mvd_words[m]);
        if (m != 0) w.put(d < 0 ? 1 : 0, 1);
    }
}

TEST(InterPicture, VectorComponentTakenTo32WrapsToMinus32) {
    PictureDecoder decoder(48, 16, active_routines());
    std::vector<uint8_t> bytes;
    BitWriter w(bytes);
    w.put(0b100, 3);
    put_vector_macroblock(w, 31, -32);  // predicted 0: (31, -32)
    put_vector_macroblock(w, 1, -1);    // predicted from the left: (32 -> -32, -33 -> 31)
    put_vector_macroblock(w, 32, 0);    // predicted (-32, 31): (0, 31)
    w.flush();
    ASSERT_GT(decoder.decode(bytes.data(), bytes.size()), 0);
    EXPECT_FALSE(decoder.last_picture_damaged());
    const VectorField& v = decoder.vectors();
    EXPECT_EQ(v.at(0, 0, 0).x, 31);
    EXPECT_EQ(v.at(0, 0, 0).y, -32);
    EXPECT_EQ(v.at(1, 0, 0).x, -32);
    EXPECT_EQ(v.at(1, 0, 0).y, 31);
    EXPECT_EQ(v.at(2, 0, 3).x, 0);
    EXPECT_EQ(v.at(2, 0, 3).y, 31);
}

TEST(InterPicture, EveryVectorDifferenceDecodes) {
    // Short differences are read with their sign in one look, long ones from the full table.
    for (int d = -32; d <= 32; ++d) {
        PictureDecoder decoder(16, 16, active_routines());
        std::vector<uint8_t> bytes;
        BitWriter w(bytes);
        w.put(0b100, 3);
        put_vector_macroblock(w, d, -d);
        w.flush();
        ASSERT_GT(decoder.decode(bytes.data(), bytes.size()), 0);
        EXPECT_FALSE(decoder.last_picture_damaged()) << d;
        EXPECT_EQ(decoder.vectors().at(0, 0, 0).x, wrap_component(d)) << d;
        EXPECT_EQ(decoder.vectors().at(0, 0, 0).y, wrap_component(-d)) << d;
    }
}

// A pixel of the reference with its outermost pixels repeated beyond every edge.
int edge_pixel(const Plane& plane, int x, int y) {
    x = x < 0 ? 0 : (x >= plane.width ? plane.width - 1 : x);
    y = y < 0 ? 0 : (y >= plane.height ? plane.height - 1 : y);
    return plane.row(y)[x];
}

// Half-pixel prediction of one pixel at (x, y) + vector (half pixels), from the definition.
int predicted_pixel(const Plane& ref, int x, int y, int vx, int vy) {
    const int ix = x + (vx >> 1);
    const int iy = y + (vy >> 1);
    const int a = edge_pixel(ref, ix, iy);
    const int b = edge_pixel(ref, ix + 1, iy);
    const int c = edge_pixel(ref, ix, iy + 1);
    const int d = edge_pixel(ref, ix + 1, iy + 1);
    if ((vx & 1) != 0 && (vy & 1) != 0) return (a + b + c + d + 2) >> 2;
    if ((vx & 1) != 0) return (a + b + 1) >> 1;
    if ((vy & 1) != 0) return (a + c + 1) >> 1;
    return a;
}

TEST(InterPicture, VectorsReachingFarthestPastTheEdgesSeeRepeatedEdgePixels) {
    // Every macroblock of a 3 x 3 picture points as far outside as vectors go (and to half
    // pixels there), so each edge and corner is read at its greatest distance.
    const int size = 48;
    Encoder encoder(size, size);
    for (const RoutineSet* set : {&plain_routines(), sse2_routines(), avx2_routines()}) {
        if (set == nullptr) continue;
        PictureDecoder decoder(size, size, *set);
        const auto intra = textured_intra(size, size, encoder);
        ASSERT_GT(decoder.decode(intra.data(), intra.size()), 0);
        Picture reference;
        ASSERT_TRUE(reference.allocate(size, size));
        const Plane* from[3] = {&decoder.picture().y, &decoder.picture().u, &decoder.picture().v};
        const Plane* to[3] = {&reference.y, &reference.u, &reference.v};
        for (int p = 0; p < 3; ++p) {
            for (int y = 0; y < to[p]->height; ++y)
                std::memcpy(to[p]->row(y), from[p]->row(y), to[p]->width);
        }
        const int components[3] = {-32, 31, -31};
        VectorField predictor;
        predictor.reset(3, 3);
        std::vector<uint8_t> bytes;
        BitWriter w(bytes);
        w.put(0b100, 3);
        MotionVector chosen[3][3];
        for (int mby = 0; mby < 3; ++mby) {
            for (int mbx = 0; mbx < 3; ++mbx) {
                MotionVector v;
                v.x = static_cast<int8_t>(mbx == 1 ? components[2] : components[mbx / 2]);
                v.y = static_cast<int8_t>(mby == 1 ? 31 : components[mby / 2]);
                const MotionVector p = predictor.predict(mbx, mby, 0);
                int dx = v.x - p.x;
                int dy = v.y - p.y;
                dx = dx > 32 ? dx - 64 : (dx < -32 ? dx + 64 : dx);
                dy = dy > 32 ? dy - 64 : (dy < -32 ? dy + 64 : dy);
                put_vector_macroblock(w, dx, dy);
                predictor.set_all(mbx, mby, v);
                chosen[mby][mbx] = v;
            }
        }
        w.flush();
        ASSERT_GT(decoder.decode(bytes.data(), bytes.size()), 0);
        ASSERT_FALSE(decoder.last_picture_damaged());
        const Picture& out = decoder.picture();
        for (int mby = 0; mby < 3; ++mby) {
            for (int mbx = 0; mbx < 3; ++mbx) {
                const MotionVector v = chosen[mby][mbx];
                ASSERT_EQ(decoder.vectors().at(mbx, mby, 0).x, v.x);
                ASSERT_EQ(decoder.vectors().at(mbx, mby, 0).y, v.y);
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        const int px = mbx * 16 + x;
                        const int py = mby * 16 + y;
                        ASSERT_EQ(out.y.row(py)[px], predicted_pixel(reference.y, px, py, v.x, v.y))
                            << set->name << " luma " << px << "," << py;
                    }
                }
                const int cx = chroma_from_one(v.x);
                const int cy = chroma_from_one(v.y);
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        const int px = mbx * 8 + x;
                        const int py = mby * 8 + y;
                        ASSERT_EQ(out.u.row(py)[px], predicted_pixel(reference.u, px, py, cx, cy))
                            << set->name << " Cb " << px << "," << py;
                        ASSERT_EQ(out.v.row(py)[px], predicted_pixel(reference.v, px, py, cx, cy))
                            << set->name << " Cr " << px << "," << py;
                    }
                }
            }
        }
    }
}

TEST(VectorPrediction, MedianOfNeighboursWithPictureEdges) {
    VectorField field;
    field.reset(3, 2);
    auto set = [&](int x, int y, int vx, int vy) {
        field.set_all(x, y, MotionVector{int8_t(vx), int8_t(vy)});
    };
    set(0, 0, 2, 2);
    set(1, 0, 4, -6);
    set(2, 0, 10, 8);
    set(0, 1, -4, 0);
    // Top row: the left neighbour alone.
    EXPECT_EQ(field.predict(1, 0, 0).x, 2);
    EXPECT_EQ(field.predict(0, 0, 0).x, 0);
    // Middle: median(left (-4,0), upper (4,-6), upper-right (10,8)) = (4, 0).
    EXPECT_EQ(field.predict(1, 1, 0).x, 4);
    EXPECT_EQ(field.predict(1, 1, 0).y, 0);
    // Right-hand column: upper-right outside counts as zero: median((x,y)=left (4..), ...).
    set(1, 1, 6, 6);
    EXPECT_EQ(field.predict(2, 1, 0).x, 6);  // median(6, 10, 0)
    EXPECT_EQ(field.predict(2, 1, 0).y, 6);  // median(6, 8, 0)
    // Left column: left outside counts as zero: median(0, 2, 4) and median(0, 2, -6).
    EXPECT_EQ(field.predict(0, 1, 0).x, 2);
    EXPECT_EQ(field.predict(0, 1, 0).y, 0);
    // Block 3 takes blocks 2, 0 and 1 of its own macroblock.
    field.at(1, 1, 0) = MotionVector{1, 1};
    field.at(1, 1, 1) = MotionVector{5, -3};
    field.at(1, 1, 2) = MotionVector{3, 9};
    EXPECT_EQ(field.predict(1, 1, 3).x, 3);
    EXPECT_EQ(field.predict(1, 1, 3).y, 1);
}

TEST(ChromaVectors, RoundingTablesForOneAndFourVectors) {
    EXPECT_EQ(chroma_from_one(1), 1);
    EXPECT_EQ(chroma_from_one(3), 1);
    EXPECT_EQ(chroma_from_one(-1), -1);
    EXPECT_EQ(chroma_from_one(-3), -1);
    EXPECT_EQ(chroma_from_one(6), 3);
    EXPECT_EQ(chroma_from_four(3), 1);
    EXPECT_EQ(chroma_from_four(8), 1);
    EXPECT_EQ(chroma_from_four(14), 2);
    EXPECT_EQ(chroma_from_four(-2), 0);
    EXPECT_EQ(chroma_from_four(-8), -1);
}

TEST(Coefficients, EscapeElevenCarriesRun63AndLevel255) {
    std::vector<uint8_t> bytes;
    BitWriter w(bytes);
    put_word(w, codec_tables().escape);
    w.put(0b11, 2);
    w.put(1, 1);    // last
    w.put(63, 6);   // run
    w.put(255, 8);  // level
    w.put(1, 1);    // negative
    w.flush();
    BitReader r(bytes.data(), bytes.size());
    alignas(16) int16_t block[64] = {};
    int highest = -1;
    ASSERT_TRUE(read_coefficients(r, inter_coef_table(), kZigzagScan, 0, block, highest));
    EXPECT_EQ(highest, 63);
    EXPECT_EQ(block[63], -255);
    for (int i = 0; i < 63; ++i) EXPECT_EQ(block[i], 0);
}

TEST(Coefficients, EveryEscapeFormRoundTrips) {
    // Levels and runs chosen so that plain codes and all three escape forms are needed.
    for (const CoefTable& table : {intra_coef_table(), inter_coef_table()}) {
        alignas(16) int16_t levels[64] = {};
        levels[kZigzagScan[1]] = 40;  // beyond every table's largest level: escape 0 or 11
        levels[kZigzagScan[2]] = -1;
        levels[kZigzagScan[30]] = 2;     // long run of level 2: escape 10 or 11
        levels[kZigzagScan[31]] = -200;  // only the 11 form
        levels[kZigzagScan[33]] = 13;
        levels[kZigzagScan[63]] = 1;
        std::vector<uint8_t> bytes;
        BitWriter w(bytes);
        ASSERT_TRUE(write_coefficients(w, table, kZigzagScan, 1, levels));
        w.flush();
        BitReader r(bytes.data(), bytes.size());
        alignas(16) int16_t decoded[64] = {};
        int highest = 0;
        ASSERT_TRUE(read_coefficients(r, table, kZigzagScan, 1, decoded, highest));
        EXPECT_EQ(highest, 63);
        EXPECT_EQ(std::memcmp(levels, decoded, sizeof levels), 0);
        EXPECT_EQ(r.bytes_used(), bytes.size());
    }
}

TEST(Coefficients, RandomBlocksRoundTripAndTheInterReaderDequantisesAsThePlainRoutine) {
    // Short codes (one look with their sign), long codes and escapes, then the same streams cut
    // short: the inter reader that dequantises while reading must agree with reading the levels
    // and dequantising afterwards, including where the stream is damaged.
    std::mt19937 rng(17);
    for (int trial = 0; trial < 3000; ++trial) {
        const bool intra = trial % 3 == 0;
        const CoefTable table = intra ? intra_coef_table() : inter_coef_table();
        const int first = intra ? 1 : 0;
        alignas(16) int16_t levels[64] = {};
        const int count = 1 + trial % 12;
        for (int i = 0; i < count; ++i) {
            const int magnitude = trial % 4 == 0 ? 1 + static_cast<int>(rng() % 255)
                                                 : 1 + static_cast<int>(rng() % 3);
            const int position = first + static_cast<int>(rng() % (64 - first));
            levels[kZigzagScan[position]] =
                static_cast<int16_t>(rng() % 2 != 0 ? -magnitude : magnitude);
        }
        std::vector<uint8_t> bytes;
        BitWriter w(bytes);
        ASSERT_TRUE(write_coefficients(w, table, kZigzagScan, first, levels));
        w.flush();
        BitReader r(bytes.data(), bytes.size());
        alignas(16) int16_t decoded[64] = {};
        int highest = -1;
        ASSERT_TRUE(read_coefficients(r, table, kZigzagScan, first, decoded, highest));
        ASSERT_EQ(std::memcmp(levels, decoded, sizeof levels), 0) << "trial " << trial;
        if (intra) continue;
        const int q = 4 + 2 * (trial % 4);
        for (size_t cut : {bytes.size(), bytes.size() / 2, size_t{1}}) {
            const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
            BitReader plain_reader(part.data(), part.size());
            BitReader fused_reader(part.data(), part.size());
            alignas(16) int16_t expected[64] = {};
            alignas(16) int16_t fused[64] = {};
            int expected_highest = -2;
            int fused_highest = -2;
            const bool expected_ok =
                read_coefficients(plain_reader, table, kZigzagScan, 0, expected, expected_highest);
            plain_routines().dequant_inter(expected, q);
            EXPECT_EQ(read_inter_coefficients(fused_reader, q, fused, fused_highest), expected_ok);
            EXPECT_EQ(fused_highest, expected_highest);
            EXPECT_EQ(fused_reader.position_bits(), plain_reader.position_bits());
            ASSERT_EQ(std::memcmp(expected, fused, sizeof fused), 0)
                << "trial " << trial << " cut " << cut;
        }
    }
}

TEST(Coefficients, UndefinedCodesAndOverlongRunsEndTheBlockInsideIt) {
    // Twelve zero bits are no code of either table.
    const std::vector<uint8_t> zeros(4, 0);
    BitReader r(zeros.data(), zeros.size());
    alignas(16) int16_t block[64 + 8] = {};
    int highest = 0;
    EXPECT_FALSE(read_coefficients(r, inter_coef_table(), kZigzagScan, 0, block, highest));
    for (int16_t c : block) EXPECT_EQ(c, 0);
    // A run that would pass position 63: escape 11 with run 63 after one coefficient.
    std::vector<uint8_t> bytes;
    BitWriter w(bytes);
    put_word(w, codec_tables().inter_encode.words[0][0][1]);
    w.put(0, 1);
    put_word(w, codec_tables().escape);
    w.put(0b11, 2);
    w.put(1, 1);
    w.put(63, 6);
    w.put(5, 8);
    w.put(0, 1);
    w.flush();
    BitReader r2(bytes.data(), bytes.size());
    EXPECT_FALSE(read_coefficients(r2, inter_coef_table(), kZigzagScan, 0, block, highest));
    EXPECT_EQ(block[0], 1);
    for (int i = 1; i < 72; ++i) EXPECT_EQ(block[i], 0);
}

TEST(DamagedInput, TruncatedAndCorruptedPicturesDecodeSafely) {
    const int width = 96;
    const int height = 64;
    Encoder encoder(width, height);
    testing::PlanarFrame frame(width, height);
    std::mt19937 rng(11);
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 4; ++i) {
        testing::render_scene(frame, i * 5, 2.0, rng);
        pictures.push_back(
            encoder.encode_planar(frame.y.data(), width, frame.u.data(), frame.v.data(), width / 2,
                                  i == 0 ? PictureType::intra : PictureType::inter, 0));
    }
    PictureDecoder decoder(width, height, active_routines());
    std::vector<uint8_t> output(width * height * 2);
    for (const auto& full : pictures) {
        for (size_t cut : {size_t{1}, full.size() / 3, full.size() - 1}) {
            const std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
            EXPECT_GT(decoder.decode(part.data(), part.size()), 0);
            EXPECT_TRUE(decoder.last_picture_damaged());
            decoder.write_yuy2(output.data());
        }
        std::vector<uint8_t> corrupt = full;
        std::uniform_int_distribution<size_t> at(1, corrupt.size() - 1);
        for (int i = 0; i < 8; ++i) corrupt[at(rng)] ^= static_cast<uint8_t>(1 + i * 31);
        decoder.decode(corrupt.data(), corrupt.size());
        decoder.write_yuy2(output.data());
    }
}

TEST(DecoderType, OpensDecodesAndRefusesAbsurdSizes) {
    codec4321_global_init(CpuFeatures{});
    Codec4321Decoder decoder(64, 32);
    ASSERT_TRUE(decoder.open());
    Encoder encoder(64, 32);
    const auto intra = textured_intra(64, 32, encoder);
    std::vector<uint8_t> output(64 * 32 * 2, 0xEE);
    EXPECT_GT(decoder.decode(intra.data(), output.data(), static_cast<int>(intra.size())), 0);
    std::vector<uint8_t> expected(64 * 32 * 2);
    encoder.write_reconstruction_yuy2(expected.data());
    EXPECT_EQ(output, expected);
    // Nothing to decode: the output keeps its content.
    std::vector<uint8_t> untouched(64 * 32 * 2, 0x11);
    EXPECT_EQ(decoder.decode(intra.data(), untouched.data(), 0), 0);
    EXPECT_EQ(decoder.decode(nullptr, untouched.data(), 10), 0);
    EXPECT_EQ(untouched[0], 0x11);
    // Sizes are cut to 16 bits; 65535 x 65535 is refused rather than allocated.
    Codec4321Decoder huge(65535, 65535);
    EXPECT_FALSE(huge.open());
    EXPECT_EQ(huge.decode(intra.data(), untouched.data(), 10), 0);
    // A zero-sized decoder opens and writes nothing.
    Codec4321Decoder empty(0, 0);
    EXPECT_TRUE(empty.open());
    EXPECT_GT(empty.decode(intra.data(), untouched.data(), static_cast<int>(intra.size())), 0);
    EXPECT_EQ(untouched[0], 0x11);
}

}  // namespace
}  // namespace orvel::codec::c4321
