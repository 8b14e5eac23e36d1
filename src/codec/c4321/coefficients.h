#pragma once
// Coefficient events: reading them from the stream into a block and writing a block's levels
// as events (with the three escape forms where a level or run has no code of its own).
#include <cstdint>

#include "codec/c4321/bit_reader.h"
#include "codec/c4321/bit_writer.h"
#include "codec/c4321/tables.h"

namespace orvel::codec::c4321 {

struct CoefTable {
    const CoefLookup* lookup;       // 4096 entries on the next 12 bits
    const CoefEncodeTable* encode;  // code words and escape offsets
    const FastCoef* fast;           // short codes with their sign, on the next kFastCoefBits bits
};

CoefTable intra_coef_table();
CoefTable inter_coef_table();

// Reads events until one with last = 1, placing level at scan[position]; positions start at
// `first`. An undefined code, a nested escape or a position past 63 ends the block at once
// (nothing is written outside it) and returns false. `highest` gets the highest position
// written (first - 1 if none).
bool read_coefficients(BitReader& reader, const CoefTable& table, const uint8_t* scan, int first,
                       int16_t* block, int& highest);

// The same for an inter block (zigzag scan from position 0, inter table), each level stored
// inverse-quantised with quantiser q (dequantise_level), as the routine sets' dequant_inter
// would leave it.
bool read_inter_coefficients(BitReader& reader, int q, int16_t* block, int& highest);

// Writes the non-zero levels of block (in scan order from `first`) as events. Levels must lie
// in -255..255. Returns false (nothing sensible written) when the block has no non-zero level.
bool write_coefficients(BitWriter& writer, const CoefTable& table, const uint8_t* scan, int first,
                        const int16_t* block);

}  // namespace orvel::codec::c4321
