#include "media/stream_format.h"

#include <cstring>

namespace orvel::media {

int DvrHeader::decoder_type() const {
    if (codec_marker == kMarkerDual) {
        return 0;
    }
    if (codec_marker == kMarker4321) {
        return 2;
    }
    return 1;
}

DvrHeader parse_stream_header(const uint8_t* bytes) {
    DvrHeader h;
    std::memcpy(h.raw, bytes, kStreamHeaderBytes);
    h.closed_mark = bytes[1];
    h.width = load_u32(bytes + 8);
    h.height = load_u32(bytes + 12);
    h.stream_id = static_cast<int32_t>(load_u32(bytes + 16));
    h.duration_ms = load_u32(bytes + 20);
    h.codec_marker = static_cast<int32_t>(load_u32(bytes + 24));
    return h;
}

void encode_stream_header(const DvrHeader& h, uint8_t* out) {
    std::memcpy(out, h.raw, kStreamHeaderBytes);
    out[1] = h.closed_mark;
    store_u32(out + 8, h.width);
    store_u32(out + 12, h.height);
    store_u32(out + 16, static_cast<uint32_t>(h.stream_id));
    store_u32(out + 20, h.duration_ms);
    store_u32(out + 24, static_cast<uint32_t>(h.codec_marker));
}

DvrRecordHeader parse_record_header(const uint8_t* bytes, bool dual) {
    DvrRecordHeader r;
    r.header_bytes = dual ? kDualRecordHeaderBytes : kStdRecordHeaderBytes;
    std::memcpy(r.raw, bytes, r.header_bytes);
    const uint8_t flags = bytes[0];
    if (dual) {
        r.frame_class = flags & 0x0F;
        r.key_frame = (flags & 0x80) == 0;
        r.length_bytes = load_u32(bytes + 4);
        r.time_ms = load_u32(bytes + 8);
        r.packed_datetime = load_u32(bytes + 12);
        if (r.frame_class == 0 || r.frame_class == 2) {
            r.kind = RecordKind::video;
        } else if (r.frame_class == 1) {
            r.kind = RecordKind::audio;
        } else {
            r.kind = RecordKind::other;
        }
    } else {
        r.frame_class = flags & 0x01;
        r.key_frame = (flags & 0xF0) == 0;
        r.length_bytes = load_u16(bytes + 2);
        r.time_ms = load_u32(bytes + 4);
        r.packed_datetime = load_u32(bytes + 8);
        r.kind = (flags & 0x01) ? RecordKind::audio : RecordKind::video;
    }
    switch (r.kind) {
        case RecordKind::video:
            r.payload_bytes = r.length_bytes;
            break;
        case RecordKind::audio:
            r.payload_bytes = kAudioRecordBytes;
            break;
        case RecordKind::other:
            r.payload_bytes = 0;
            break;
    }
    return r;
}

}  // namespace orvel::media
