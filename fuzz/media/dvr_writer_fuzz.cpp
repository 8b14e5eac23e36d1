// Writes a .dvr file from arbitrary records with the builder, then reads it back with the
// reader: every record the writer accepted must come back as written (kind, key flag, times,
// payload), in order, followed by a clean end (or, at a record longer than the reader's
// payload buffer, a damaged file); the index, duration and closed mark must be those of the
// records.
//
// Input: a form byte (bit 0 dual, bit 1 codec 4321), then records: a kind byte (bit 0 audio,
// bit 1 key frame), an 18-bit length (3 bytes) and a time (4 bytes); payloads are made here.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/dvr_file.h"

namespace {

using namespace orvel::media;

constexpr std::size_t kMaxInputBytes = 4096;
constexpr std::size_t kRecordBytes = 8;

struct Written {
    bool audio = false;
    bool key = false;
    uint32_t length = 0;
    uint32_t time_ms = 0;
    uint32_t packed = 0;
};

// The writer under test; retarget here when it changes. Returns whether the record was kept.
bool write_record(DvrBuilder& builder, const Written& w, const std::vector<uint8_t>& payload) {
    if (w.audio) {
        builder.add_audio(payload.data(), w.time_ms, w.packed);
        return true;
    }
    return builder.add_video(payload.data(), w.length, w.time_ms, w.key, w.packed);
}

uint8_t payload_byte(std::size_t record, std::size_t i) {
    return static_cast<uint8_t>(record * 31 + i * 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxInputBytes) return 0;
    DvrHeader header;
    header.width = 352;
    header.height = 288;
    header.codec_marker = (data[0] & 1) ? kMarkerDual : (data[0] & 2) ? kMarker4321 : 0;
    DvrBuilder builder(header);
    std::vector<Written> written;
    std::vector<DvrIndexEntry> keys;
    static std::vector<uint8_t> payload;
    uint32_t duration = 0;
    for (std::size_t at = 1; at + kRecordBytes <= size; at += kRecordBytes) {
        const uint8_t* r = data + at;
        Written w;
        w.audio = (r[0] & 1) != 0;
        w.key = w.audio || (r[0] & 2) != 0;
        w.length = w.audio ? kAudioRecordBytes : (r[1] | r[2] << 8 | (r[3] & 3) << 16);
        w.time_ms = static_cast<uint32_t>(r[4] | r[5] << 8 | r[6] << 16) | uint32_t{r[7]} << 24;
        w.packed = w.time_ms * 2654435761u;
        payload.resize(w.length);
        for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = payload_byte(written.size(), i);
        const uint32_t offset = static_cast<uint32_t>(builder.bytes().size());
        if (!write_record(builder, w, payload)) continue;
        if (!w.audio) {
            if (w.key && keys.size() < header.index_entries()) keys.push_back({offset, w.time_ms});
            duration = w.time_ms;
        }
        written.push_back(w);
    }
    builder.finish();

    MemoryDvrSource source(builder.bytes().data(), builder.bytes().size());
    DvrReader reader(source);
    if (reader.read_header_block() != DvrStatus::ok) __builtin_trap();
    const DvrHeader& h = reader.header();
    if (h.closed_mark != 1 || h.duration_ms != duration || h.codec_marker != header.codec_marker)
        __builtin_trap();
    if (reader.index_count() != keys.size()) __builtin_trap();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const DvrIndexEntry e = reader.index_entry(i);
        if (e.offset != keys[i].offset || e.time_ms != keys[i].time_ms) __builtin_trap();
    }
    static std::vector<uint8_t> buffer(kPayloadBufferBytes);
    DvrRecordHeader record;
    for (std::size_t n = 0; n < written.size(); ++n) {
        const Written& w = written[n];
        const DvrStatus status = reader.next_record(record, buffer.data(), buffer.size());
        if (w.length > buffer.size()) {
            // Written whole (the dual form carries it), refused by every reader of the program.
            if (status != DvrStatus::damaged) __builtin_trap();
            return 0;
        }
        if (status != DvrStatus::ok) __builtin_trap();
        const RecordKind kind = w.audio ? RecordKind::audio : RecordKind::video;
        if (record.kind != kind || record.payload_bytes != w.length ||
            record.time_ms != w.time_ms || record.packed_datetime != w.packed)
            __builtin_trap();
        if (!w.audio && record.key_frame != w.key) __builtin_trap();
        for (std::size_t i = 0; i < w.length; ++i)
            if (buffer[i] != payload_byte(n, i)) __builtin_trap();
    }
    if (reader.next_record(record, buffer.data(), buffer.size()) != DvrStatus::end_of_file)
        __builtin_trap();
    return 0;
}
