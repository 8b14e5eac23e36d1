// Structural checks of the code tables: every table is a prefix code of the stated shape, the
// escape offsets derive from the tables, and the scans are permutations.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {
namespace {

std::string bits_of(const char* text) {
    std::string s;
    for (const char* p = text; *p; ++p) {
        if (*p != ' ') s += *p;
    }
    return s;
}

void expect_prefix_free(const std::vector<std::string>& codes, const char* name) {
    for (size_t i = 0; i < codes.size(); ++i) {
        ASSERT_FALSE(codes[i].empty()) << name;
        for (size_t j = 0; j < codes.size(); ++j) {
            if (i != j) {
                EXPECT_NE(codes[j].rfind(codes[i], 0), 0u) << name << ": " << codes[i] << " prefixes " << codes[j];
            }
        }
    }
}

TEST(Tables, CoefficientTablesArePrefixCodesWithTheEscape) {
    for (const CoefCodeDef* table : {kIntraCoefCodes, kInterCoefCodes}) {
        std::vector<std::string> codes{bits_of(kEscapeBits)};
        std::set<int> events;
        for (int i = 0; i < kCoefCodeCount; ++i) {
            codes.push_back(bits_of(table[i].bits));
            EXPECT_LE(codes.back().size(), 12u);
            events.insert(table[i].last * 10000 + table[i].run * 100 + table[i].level);
        }
        expect_prefix_free(codes, "coefficients");
        EXPECT_EQ(events.size(), 102u);
    }
    // Both tables use the same code words (with different meanings).
    std::set<std::string> intra;
    std::set<std::string> inter;
    for (int i = 0; i < kCoefCodeCount; ++i) {
        intra.insert(bits_of(kIntraCoefCodes[i].bits));
        inter.insert(bits_of(kInterCoefCodes[i].bits));
    }
    EXPECT_EQ(intra, inter);
}

TEST(Tables, FirstCodesAndEscapeOffsets) {
    const CodecTables& t = codec_tables();
    auto event = [](const std::array<CoefLookup, 4096>& lookup, const char* bits) {
        const CodeWord w = parse_code_bits(bits);
        return lookup[static_cast<unsigned>(w.code) << (12 - w.length)];
    };
    EXPECT_EQ(event(t.intra_coef, "10").level, 1);
    EXPECT_EQ(event(t.intra_coef, "110").level, 2);
    EXPECT_EQ(event(t.intra_coef, "1111").level, 3);
    EXPECT_EQ(event(t.inter_coef, "1111").level, 2);
    EXPECT_EQ(event(t.inter_coef, "110").run, 1);
    EXPECT_EQ(event(t.inter_coef, "0000011").length, 7);  // escape
    EXPECT_EQ(event(t.inter_coef, "0000011").level, 0);
    EXPECT_EQ(event(t.inter_coef, "000000000000").length, 0);  // undefined
    // Largest levels and runs as the tables give them.
    EXPECT_EQ(t.intra_encode.max_level[0][0], 27);
    EXPECT_EQ(t.intra_encode.max_level[0][14], 1);
    EXPECT_EQ(t.intra_encode.max_level[1][0], 8);
    EXPECT_EQ(t.intra_encode.max_level[1][20], 1);
    EXPECT_EQ(t.intra_encode.max_run[0][1], 14);
    EXPECT_EQ(t.intra_encode.max_run[1][1], 20);
    EXPECT_EQ(t.inter_encode.max_level[0][0], 12);
    EXPECT_EQ(t.inter_encode.max_level[1][0], 3);
    EXPECT_EQ(t.inter_encode.max_run[0][1], 26);
    EXPECT_EQ(t.inter_encode.max_run[1][1], 40);
    EXPECT_EQ(t.inter_encode.max_run[0][13], 0xFF);  // no code with level 13
}

TEST(Tables, SmallCodeTablesHaveTheDocumentedShape) {
    const CodecTables& t = codec_tables();
    EXPECT_EQ(t.cbpy[0b110000].value, 15);
    EXPECT_EQ(t.cbpy[0b001100].value, 0);
    EXPECT_EQ(t.cbpy[0b000010].value, 6);
    EXPECT_EQ(t.cbpy[0b000000].length, 0);
    EXPECT_EQ(t.dc_luma_words[0].length, 3);
    EXPECT_EQ(t.dc_luma_words[12].length, 11);
    EXPECT_EQ(t.dc_chroma_words[12].length, 12);
    // Vector differences: 3, 4 and 5 bits with sign for 1, 2, 3; 13 bits for 32.
    EXPECT_EQ(t.mvd_words[0].length, 1);
    EXPECT_EQ(t.mvd_words[1].length + 1, 3);
    EXPECT_EQ(t.mvd_words[2].length + 1, 4);
    EXPECT_EQ(t.mvd_words[3].length + 1, 5);
    EXPECT_EQ(t.mvd_words[32].length + 1, 13);
    std::vector<std::string> codes;
    for (const auto& c : kCbpyCodes) codes.push_back(bits_of(c.bits));
    expect_prefix_free(codes, "cbpy");
    codes.clear();
    for (const auto& c : kMvdMagnitudeCodes) codes.push_back(bits_of(c.bits) + (c.value ? "0" : ""));
    for (const auto& c : kMvdMagnitudeCodes) {
        if (c.value) codes.push_back(bits_of(c.bits) + "1");
    }
    expect_prefix_free(codes, "mvd");
    codes.clear();
    for (const auto& c : kMcbpcCodes) codes.push_back(bits_of(c.bits));
    expect_prefix_free(codes, "mcbpc");
    codes.clear();
    for (const auto& c : kDcSizeLumaCodes) codes.push_back(bits_of(c.bits));
    expect_prefix_free(codes, "dc luma");
    codes.clear();
    for (const auto& c : kDcSizeChromaCodes) codes.push_back(bits_of(c.bits));
    expect_prefix_free(codes, "dc chroma");
}

TEST(Tables, ScansArePermutationsStartingAtTheDc) {
    for (const uint8_t* scan : {kZigzagScan, kAltHorizontalScan, kAltVerticalScan}) {
        std::set<int> seen(scan, scan + 64);
        EXPECT_EQ(seen.size(), 64u);
        EXPECT_EQ(*seen.rbegin(), 63);
        EXPECT_EQ(scan[0], 0);
        EXPECT_EQ(scan[63], 63);
    }
    EXPECT_EQ(kAltHorizontalScan[1], 1);  // along the first row first
    EXPECT_EQ(kAltVerticalScan[1], 8);    // down the first column first
}

}  // namespace
}  // namespace orvel::codec::c4321
