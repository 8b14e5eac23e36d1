// Arbitrary bytes as a .dvr file: the reader must stay inside its buffers and end.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/dvr_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    using namespace orvel::media;
    // Exact-size copy so that any read past the end is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    MemoryDvrSource source(bytes.data(), bytes.size());
    DvrReader reader(source);
    if (reader.read_header_block() != DvrStatus::ok) return 0;
    volatile std::size_t sink = reader.index_count();
    static std::vector<uint8_t> payload(4096);  // a small buffer: long records must be refused
    DvrRecordHeader record;
    for (int i = 0; i < 100000; ++i) {
        if (reader.next_record(record, payload.data(), payload.size()) != DvrStatus::ok) break;
        sink = sink + record.payload_bytes;
    }
    (void)sink;
    return 0;
}
