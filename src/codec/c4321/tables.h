#pragma once
// Variable-length code tables of the codec and the lookup tables built from them.
//
// The code words are written out as bit strings (most significant bit first, spaces ignored)
// exactly as the MPEG-4 visual standard prints them; lookups indexed by the next bits of the
// stream are derived from them once per process and are read-only afterwards.
#include <array>
#include <cstddef>
#include <cstdint>

namespace orvel::codec::c4321 {

// One coefficient code: (last, run, level) and its code word without the sign bit.
struct CoefCodeDef {
    uint8_t last;
    uint8_t run;
    uint8_t level;
    const char* bits;
};

// A code word with an integer meaning (CBPY, DC size, vector difference, macroblock type).
struct ValueCodeDef {
    int16_t value;
    const char* bits;
};

inline constexpr int kCoefCodeCount = 102;
inline constexpr int kCoefLookupBits = 12;
inline constexpr const char* kEscapeBits = "0000 011";

extern const CoefCodeDef kIntraCoefCodes[kCoefCodeCount];
extern const CoefCodeDef kInterCoefCodes[kCoefCodeCount];
extern const ValueCodeDef kCbpyCodes[16];          // value = luma pattern as coded (intra form)
extern const ValueCodeDef kDcSizeLumaCodes[13];    // value = DC size
extern const ValueCodeDef kDcSizeChromaCodes[13];  // value = DC size
extern const ValueCodeDef kMvdMagnitudeCodes[33];  // value = |difference|, sign bit follows if > 0
// Inter-picture macroblock type and chroma pattern: value = kind * 4 + (Cb << 1 | Cr), where
// kind 0 = one vector, 1 = four vectors, 2 = intra.
extern const ValueCodeDef kMcbpcCodes[12];

extern const uint8_t kZigzagScan[64];
extern const uint8_t kAltHorizontalScan[64];
extern const uint8_t kAltVerticalScan[64];

// Chroma vector rounding for one vector (index v & 3) and four vectors (index sum & 15).
inline constexpr int8_t kChromaRound2[4] = {0, 1, 0, 0};
inline constexpr int8_t kChromaRound4[16] = {0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1};

// Lookup result for a code looked up on the next `bits` of the stream.
struct CoefLookup {
    uint8_t length;  // code length without sign; 0 = undefined code
    uint8_t last;
    uint8_t run;
    uint8_t level;  // 0 with length 7 marks the escape prefix
};

struct ValueLookup {
    int8_t value;    // every table's values fit (0..32)
    uint8_t length;  // 0 = undefined code
};

// A coefficient code of up to kFastCoefBits - 1 bits and its sign bit, decoded with one look
// at the next kFastCoefBits bits (most codes of real pictures are that short).
inline constexpr int kFastCoefBits = 9;
struct FastCoef {
    int16_t level;     // signed level
    uint8_t run_last;  // run | last << 7
    uint8_t
        length;  // code and sign bits; 0 = longer code, escape or undefined: see the full lookup
};

// Vector differences of up to kFastMvdBits bits with their sign bit (value signed, length of
// code and sign; 0 = see the full lookup).
inline constexpr int kFastMvdBits = 10;

struct CodeWord {
    uint16_t code = 0;
    uint8_t length = 0;  // 0 = no such code
};

// Encoder-side table of one coefficient code set, indexed [last][run][level].
struct CoefEncodeTable {
    CodeWord words[2][64][28];
    uint8_t max_level[2][64];  // largest level per (last, run); 0 if the run has no code
    uint8_t max_run[2][28];    // largest run per (last, level); 0xFF if the level has no code
};

struct CodecTables {
    std::array<CoefLookup, 1 << kCoefLookupBits> intra_coef;
    std::array<CoefLookup, 1 << kCoefLookupBits> inter_coef;
    std::array<ValueLookup, 1 << 6> cbpy;
    std::array<ValueLookup, 1 << 12> dc_luma;
    std::array<ValueLookup, 1 << 12> dc_chroma;
    std::array<ValueLookup, 1 << 12> mvd;
    std::array<FastCoef, 1 << kFastCoefBits> intra_fast;
    std::array<FastCoef, 1 << kFastCoefBits> inter_fast;
    std::array<ValueLookup, 1 << kFastMvdBits> mvd_fast;
    std::array<ValueLookup, 1 << 6> mcbpc;
    CoefEncodeTable intra_encode;
    CoefEncodeTable inter_encode;
    CodeWord cbpy_words[16];
    CodeWord dc_luma_words[13];
    CodeWord dc_chroma_words[13];
    CodeWord mvd_words[33];
    CodeWord mcbpc_words[12];
    CodeWord escape;
};

// The process-wide tables; built on first use (thread-safe) and read-only afterwards.
// Any thread.
const CodecTables& codec_tables();

// Parses a bit string such as "0000 011" into a code word. Returns length 0 for bad text.
CodeWord parse_code_bits(const char* bits);

}  // namespace orvel::codec::c4321
