#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {

const ValueCodeDef kCbpyCodes[16] = {
    {0, "0011"},    {1, "0010 1"}, {2, "0010 0"}, {3, "1001"},   {4, "0001 1"},  {5, "0111"},
    {6, "0000 10"}, {7, "1011"},   {8, "0001 0"}, {9, "0000 11"}, {10, "0101"}, {11, "1010"},
    {12, "0100"},   {13, "1000"},  {14, "0110"},  {15, "11"},
};

const ValueCodeDef kDcSizeLumaCodes[13] = {
    {0, "011"},      {1, "11"},        {2, "10"},          {3, "010"},          {4, "001"},
    {5, "0001"},     {6, "0000 1"},    {7, "0000 01"},     {8, "0000 001"},     {9, "0000 0001"},
    {10, "0000 0000 1"}, {11, "0000 0000 01"}, {12, "0000 0000 001"},
};

const ValueCodeDef kDcSizeChromaCodes[13] = {
    {0, "11"},        {1, "10"},          {2, "01"},           {3, "001"},
    {4, "0001"},      {5, "0000 1"},      {6, "0000 01"},      {7, "0000 001"},
    {8, "0000 0001"}, {9, "0000 0000 1"}, {10, "0000 0000 01"}, {11, "0000 0000 001"},
    {12, "0000 0000 0001"},
};

const ValueCodeDef kMvdMagnitudeCodes[33] = {
    {0, "1"},
    {1, "01"},
    {2, "001"},
    {3, "0001"},
    {4, "0000 11"},
    {5, "0000 101"},
    {6, "0000 100"},
    {7, "0000 011"},
    {8, "0000 0101 1"},
    {9, "0000 0101 0"},
    {10, "0000 0100 1"},
    {11, "0000 0100 01"},
    {12, "0000 0100 00"},
    {13, "0000 0011 11"},
    {14, "0000 0011 10"},
    {15, "0000 0011 01"},
    {16, "0000 0011 00"},
    {17, "0000 0010 11"},
    {18, "0000 0010 10"},
    {19, "0000 0010 01"},
    {20, "0000 0010 00"},
    {21, "0000 0001 11"},
    {22, "0000 0001 10"},
    {23, "0000 0001 01"},
    {24, "0000 0001 00"},
    {25, "0000 0000 111"},
    {26, "0000 0000 110"},
    {27, "0000 0000 101"},
    {28, "0000 0000 100"},
    {29, "0000 0000 011"},
    {30, "0000 0000 010"},
    {31, "0000 0000 0011"},
    {32, "0000 0000 0010"},
};

const ValueCodeDef kMcbpcCodes[12] = {
    {0, "1"},       {1, "001"},     {2, "010"},     {3, "011"},
    {4, "000000"},  {5, "000001"},  {6, "000010"},  {7, "000011"},
    {8, "000100"},  {9, "000101"},  {10, "000110"}, {11, "000111"},
};

const uint8_t kZigzagScan[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

const uint8_t kAltHorizontalScan[64] = {
    0,  1,  2,  3,  8,  9,  16, 17, 10, 11, 4,  5,  6,  7,  15, 14,
    13, 12, 19, 18, 24, 25, 32, 33, 26, 27, 20, 21, 22, 23, 28, 29,
    30, 31, 34, 35, 40, 41, 48, 49, 42, 43, 36, 37, 38, 39, 44, 45,
    46, 47, 50, 51, 56, 57, 58, 59, 52, 53, 54, 55, 60, 61, 62, 63,
};

const uint8_t kAltVerticalScan[64] = {
    0,  8,  16, 24, 1,  9,  2,  10, 17, 25, 32, 40, 48, 56, 57, 49,
    41, 33, 26, 18, 3,  11, 4,  12, 19, 27, 34, 42, 50, 58, 35, 43,
    51, 59, 20, 28, 5,  13, 6,  14, 21, 29, 36, 44, 52, 60, 37, 45,
    53, 61, 22, 30, 7,  15, 23, 31, 38, 46, 54, 62, 39, 47, 55, 63,
};

CodeWord parse_code_bits(const char* bits) {
    CodeWord word;
    if (bits == nullptr) return word;
    unsigned code = 0;
    int length = 0;
    for (const char* p = bits; *p != '\0'; ++p) {
        if (*p == ' ') continue;
        if ((*p != '0' && *p != '1') || length >= 16) return CodeWord{};
        code = (code << 1) | static_cast<unsigned>(*p - '0');
        ++length;
    }
    word.code = static_cast<uint16_t>(code);
    word.length = static_cast<uint8_t>(length);
    return word;
}

namespace {

template <size_t N>
void fill_value_lookup(std::array<ValueLookup, N>& lookup, int lookup_bits,
                       const ValueCodeDef* defs, int count, CodeWord* words) {
    for (auto& entry : lookup) entry = ValueLookup{0, 0};
    for (int i = 0; i < count; ++i) {
        const CodeWord word = parse_code_bits(defs[i].bits);
        words[defs[i].value] = word;
        const int spare = lookup_bits - word.length;
        const unsigned first = static_cast<unsigned>(word.code) << spare;
        for (unsigned j = 0; j < (1u << spare); ++j) {
            lookup[first + j] = ValueLookup{static_cast<int8_t>(defs[i].value), word.length};
        }
    }
}

void fill_coef_tables(std::array<CoefLookup, 1 << kCoefLookupBits>& lookup, CoefEncodeTable& encode,
                      const CoefCodeDef* defs) {
    for (auto& entry : lookup) entry = CoefLookup{0, 0, 0, 0};
    encode = CoefEncodeTable{};
    for (auto& row : encode.max_run) {
        for (auto& v : row) v = 0xFF;
    }
    for (int i = 0; i < kCoefCodeCount; ++i) {
        const CoefCodeDef& def = defs[i];
        const CodeWord word = parse_code_bits(def.bits);
        encode.words[def.last][def.run][def.level] = word;
        if (def.level > encode.max_level[def.last][def.run])
            encode.max_level[def.last][def.run] = def.level;
        uint8_t& max_run = encode.max_run[def.last][def.level];
        if (max_run == 0xFF || def.run > max_run) max_run = def.run;
        const int spare = kCoefLookupBits - word.length;
        const unsigned first = static_cast<unsigned>(word.code) << spare;
        for (unsigned j = 0; j < (1u << spare); ++j) {
            lookup[first + j] = CoefLookup{word.length, def.last, def.run, def.level};
        }
    }
    const CodeWord escape = parse_code_bits(kEscapeBits);
    const int spare = kCoefLookupBits - escape.length;
    for (unsigned j = 0; j < (1u << spare); ++j) {
        lookup[(static_cast<unsigned>(escape.code) << spare) + j] =
            CoefLookup{escape.length, 0, 0, 0};
    }
}

// Entries of the short-code lookup: the full lookup's code at the same leading bits, when that
// code and its sign bit fit in kFastCoefBits bits.
void fill_fast_coef(std::array<FastCoef, 1 << kFastCoefBits>& fast,
                    const std::array<CoefLookup, 1 << kCoefLookupBits>& full) {
    constexpr int kSpare = kCoefLookupBits - kFastCoefBits;
    for (unsigned i = 0; i < fast.size(); ++i) {
        const CoefLookup& code = full[static_cast<size_t>(i) << kSpare];
        fast[i] = FastCoef{0, 0, 0};
        if (code.length == 0 || code.level == 0 || code.length + 1 > kFastCoefBits) continue;
        const bool negative = ((i >> (kFastCoefBits - 1 - code.length)) & 1u) != 0;
        fast[i] = FastCoef{static_cast<int16_t>(negative ? -code.level : code.level),
                           static_cast<uint8_t>(code.run | (code.last << 7)),
                           static_cast<uint8_t>(code.length + 1)};
    }
}

void fill_fast_mvd(std::array<ValueLookup, 1 << kFastMvdBits>& fast,
                   const std::array<ValueLookup, 1 << 12>& full) {
    constexpr int kSpare = 12 - kFastMvdBits;
    for (unsigned i = 0; i < fast.size(); ++i) {
        const ValueLookup& code = full[static_cast<size_t>(i) << kSpare];
        fast[i] = ValueLookup{0, 0};
        if (code.length == 0) continue;
        if (code.value == 0) {
            fast[i] = code;
            continue;
        }
        if (code.length + 1 > kFastMvdBits) continue;
        const bool negative = ((i >> (kFastMvdBits - 1 - code.length)) & 1u) != 0;
        fast[i] = ValueLookup{static_cast<int8_t>(negative ? -code.value : code.value),
                              static_cast<uint8_t>(code.length + 1)};
    }
}

CodecTables* build_tables() {
    auto* t = new CodecTables();
    fill_coef_tables(t->intra_coef, t->intra_encode, kIntraCoefCodes);
    fill_coef_tables(t->inter_coef, t->inter_encode, kInterCoefCodes);
    fill_value_lookup(t->cbpy, 6, kCbpyCodes, 16, t->cbpy_words);
    fill_value_lookup(t->dc_luma, 12, kDcSizeLumaCodes, 13, t->dc_luma_words);
    fill_value_lookup(t->dc_chroma, 12, kDcSizeChromaCodes, 13, t->dc_chroma_words);
    fill_value_lookup(t->mvd, 12, kMvdMagnitudeCodes, 33, t->mvd_words);
    fill_value_lookup(t->mcbpc, 6, kMcbpcCodes, 12, t->mcbpc_words);
    fill_fast_coef(t->intra_fast, t->intra_coef);
    fill_fast_coef(t->inter_fast, t->inter_coef);
    fill_fast_mvd(t->mvd_fast, t->mvd);
    t->escape = parse_code_bits(kEscapeBits);
    return t;
}

}  // namespace

const CodecTables& codec_tables() {
    // Built once, never freed: the tables live as long as the process and are read-only.
    static const CodecTables* const tables = build_tables();
    return *tables;
}

}  // namespace orvel::codec::c4321
