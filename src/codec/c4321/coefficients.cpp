#include "codec/c4321/coefficients.h"

#include "codec/c4321/routines.h"

namespace orvel::codec::c4321 {
namespace {

constexpr int kEscapeLength = 7;

struct Event {
    int last;
    int run;
    int level;  // magnitude
    bool negative;
};

// Reads one plain (not escaped) code and its sign with a single look at the stream. False
// for an undefined code or an escape (nothing consumed then).
inline bool read_plain_code(BitReader& reader, const CoefTable& table, Event& event) {
    const uint32_t bits = reader.peek(kCoefLookupBits + 1);
    const CoefLookup& entry = table.lookup[bits >> 1];
    if (entry.length == 0 || entry.level == 0) return false;
    event.last = entry.last;
    event.run = entry.run;
    event.level = entry.level;
    event.negative = ((bits >> (kCoefLookupBits - entry.length)) & 1u) != 0;
    reader.skip(entry.length + 1);
    return true;
}

inline bool read_event(BitReader& reader, const CoefTable& table, Event& event) {
    if (read_plain_code(reader, table, event)) return true;
    const CoefLookup& entry = table.lookup[reader.peek(kCoefLookupBits)];
    if (entry.length == 0) return false;
    reader.skip(kEscapeLength);
    if (reader.read_bit() == 0) {
        if (!read_plain_code(reader, table, event)) return false;
        event.level += table.encode->max_level[event.last][event.run];
        return true;
    }
    if (reader.read_bit() == 0) {
        if (!read_plain_code(reader, table, event)) return false;
        event.run += table.encode->max_run[event.last][event.level] + 1;
        return true;
    }
    event.last = static_cast<int>(reader.read(1));
    event.run = static_cast<int>(reader.read(6));
    event.level = static_cast<int>(reader.read(8));
    event.negative = reader.read_bit() != 0;
    return true;
}

void put_code(BitWriter& writer, CodeWord word) { writer.put(word.code, word.length); }

const CodeWord* lookup_word(const CoefEncodeTable& table, int last, int run, int level) {
    if (run < 0 || run > 63 || level <= 0 || level > 27) return nullptr;
    const CodeWord& word = table.words[last][run][level];
    return word.length != 0 ? &word : nullptr;
}

void write_event(BitWriter& writer, const CoefTable& table, int last, int run, int level) {
    const int magnitude = level < 0 ? -level : level;
    const uint32_t sign = level < 0 ? 1u : 0u;
    const CoefEncodeTable& encode = *table.encode;
    if (const CodeWord* word = lookup_word(encode, last, run, magnitude)) {
        put_code(writer, *word);
        writer.put(sign, 1);
        return;
    }
    const CodeWord escape = codec_tables().escape;
    const int reduced_level = magnitude - encode.max_level[last][run < 64 ? run : 63];
    if (run < 64 && encode.max_level[last][run] != 0) {
        if (const CodeWord* word = lookup_word(encode, last, run, reduced_level)) {
            put_code(writer, escape);
            writer.put(0, 1);
            put_code(writer, *word);
            writer.put(sign, 1);
            return;
        }
    }
    if (magnitude <= 27 && encode.max_run[last][magnitude] != 0xFF) {
        const int reduced_run = run - encode.max_run[last][magnitude] - 1;
        if (const CodeWord* word = lookup_word(encode, last, reduced_run, magnitude)) {
            put_code(writer, escape);
            writer.put(2, 2);
            put_code(writer, *word);
            writer.put(sign, 1);
            return;
        }
    }
    put_code(writer, escape);
    writer.put(3, 2);
    writer.put(static_cast<uint32_t>(last), 1);
    writer.put(static_cast<uint32_t>(run), 6);
    writer.put(static_cast<uint32_t>(magnitude), 8);
    writer.put(sign, 1);
}

}  // namespace

CoefTable intra_coef_table() {
    const CodecTables& t = codec_tables();
    return CoefTable{t.intra_coef.data(), &t.intra_encode, t.intra_fast.data()};
}

CoefTable inter_coef_table() {
    const CodecTables& t = codec_tables();
    return CoefTable{t.inter_coef.data(), &t.inter_encode, t.inter_fast.data()};
}

namespace {

// The event loop of both readers; `level_of` maps a decoded (signed) level to the value stored.
template <typename LevelOf>
inline bool read_events(BitReader& reader, const CoefTable& table, const uint8_t* scan, int first,
                        int16_t* block, int& highest, LevelOf level_of) {
    int position = first;
    highest = first - 1;
    for (;;) {
        const FastCoef fast = table.fast[reader.peek(kFastCoefBits)];
        int level;
        int last;
        if (fast.length != 0) {
            reader.skip(fast.length);
            level = fast.level;
            position += fast.run_last & 0x7F;
            last = fast.run_last >> 7;
        } else {
            Event event{};
            if (!read_event(reader, table, event)) return false;
            level = event.negative ? -event.level : event.level;
            position += event.run;
            last = event.last;
        }
        if (position > 63) return false;
        block[scan[position]] = level_of(level);
        highest = position;
        ++position;
        if (last != 0) return true;
    }
}

}  // namespace

bool read_coefficients(BitReader& reader, const CoefTable& table, const uint8_t* scan, int first,
                       int16_t* block, int& highest) {
    return read_events(reader, table, scan, first, block, highest,
                       [](int level) { return static_cast<int16_t>(level); });
}

bool read_inter_coefficients(BitReader& reader, int q, int16_t* block, int& highest) {
    return read_events(reader, inter_coef_table(), kZigzagScan, 0, block, highest,
                       [q](int level) { return dequantise_level(level, q); });
}

bool write_coefficients(BitWriter& writer, const CoefTable& table, const uint8_t* scan, int first,
                        const int16_t* block) {
    int last_position = -1;
    for (int i = 63; i >= first; --i) {
        if (block[scan[i]] != 0) {
            last_position = i;
            break;
        }
    }
    if (last_position < 0) return false;
    int run = 0;
    for (int i = first; i <= last_position; ++i) {
        const int level = block[scan[i]];
        if (level == 0) {
            ++run;
            continue;
        }
        write_event(writer, table, i == last_position ? 1 : 0, run, level);
        run = 0;
    }
    return true;
}

}  // namespace orvel::codec::c4321
