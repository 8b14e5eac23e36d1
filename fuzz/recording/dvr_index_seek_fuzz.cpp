// A .dvr file of arbitrary bytes read with seeks through its index: the reader stays inside
// its buffers, lands only on records, and ends.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/dvr_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::media;
    if (size < 8 || size > (1u << 20)) return 0;
    const uint32_t first_target = load_u32(data);
    const uint32_t second_target = load_u32(data + 4);
    const std::vector<uint8_t> bytes(data + 8, data + size);  // exact size: overreads are caught
    MemoryDvrSource source(bytes.data(), bytes.size());
    DvrReader reader(source);
    if (reader.read_header_block() != DvrStatus::ok) return 0;
    static std::vector<uint8_t> payload(4096);
    DvrRecordHeader record;
    for (const uint32_t target : {first_target, second_target, 0u}) {
        DvrIndexEntry landed;
        if (reader.seek_time(target, &landed)) {
            if (reader.position() != landed.offset) __builtin_trap();
            // A landing is always on a key-frame record of the entry's time (whose payload may
            // still be too long for this small buffer, or cut short by the end of the file).
            const DvrStatus s = reader.next_record(record, payload.data(), payload.size());
            if (s != DvrStatus::ok && s != DvrStatus::damaged && s != DvrStatus::truncated)
                __builtin_trap();
            if (s == DvrStatus::ok && (record.kind != RecordKind::video || !record.key_frame ||
                                       record.time_ms != landed.time_ms))
                __builtin_trap();
        }
        for (int i = 0; i < 64; ++i)
            if (reader.next_record(record, payload.data(), payload.size()) != DvrStatus::ok) break;
    }
    reader.seek_offset(first_target);
    reader.next_record(record, payload.data(), payload.size());
    return 0;
}
