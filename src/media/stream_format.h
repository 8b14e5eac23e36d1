#pragma once
// The byte layouts shared by DVR streams and .dvr files, parsed in this one place: the
// 28-byte stream header (the head of every stream and of every .dvr header block) and the
// frame header in its 12-byte standard and 16-byte dual forms (a stream's frames and a file's
// records). All integers little-endian.
#include <cstddef>
#include <cstdint>

#include "media/byte_order.h"

namespace orvel::media {

inline constexpr std::size_t kStreamHeaderBytes = 28;
inline constexpr std::size_t kIndexEntryBytes = 8;
inline constexpr std::size_t kStdIndexEntries = 1000;
inline constexpr std::size_t kDualIndexEntries = 16000;
inline constexpr std::size_t kStdHeaderBlockBytes =
    kStreamHeaderBytes + kStdIndexEntries * kIndexEntryBytes;
inline constexpr std::size_t kDualHeaderBlockBytes =
    kStreamHeaderBytes + kDualIndexEntries * kIndexEntryBytes;
inline constexpr std::size_t kStdRecordHeaderBytes = 12;
inline constexpr std::size_t kDualRecordHeaderBytes = 16;
inline constexpr std::size_t kAudioRecordBytes = 512;
// A frame ring entry, the payload buffer of every reader in the program.
inline constexpr std::size_t kPayloadBufferBytes = 262144;
inline constexpr int32_t kMarkerDual = 1234;
inline constexpr int32_t kMarker4321 = 4321;

struct DvrHeader {
    uint8_t raw[kStreamHeaderBytes] = {};  // as stored; the fields below are decoded from it
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t stream_id = 0;
    uint32_t duration_ms = 0;
    int32_t codec_marker = 0;
    uint8_t closed_mark = 0;

    bool dual() const { return codec_marker == kMarkerDual; }
    std::size_t index_entries() const { return dual() ? kDualIndexEntries : kStdIndexEntries; }
    std::size_t block_bytes() const {
        return dual() ? kDualHeaderBlockBytes : kStdHeaderBlockBytes;
    }
    std::size_t record_header_bytes() const {
        return dual() ? kDualRecordHeaderBytes : kStdRecordHeaderBytes;
    }
    // Decoder type the codec marker selects: 1234 -> 0, 4321 -> 2, anything else -> 1.
    int decoder_type() const;
};

// Main-stream picture size of a dual-stream channel: 960 x 720 when the sub stream is 320
// wide, else 1280 x 720.
inline int main_stream_width_for(uint32_t sub_width) { return sub_width == 320 ? 960 : 1280; }
inline constexpr int kMainStreamHeight = 720;

// Decodes the 28 bytes at `bytes`.
DvrHeader parse_stream_header(const uint8_t* bytes);
// Writes the decoded fields back over `header.raw` and returns the 28 bytes in `out`.
void encode_stream_header(const DvrHeader& header, uint8_t* out);

enum class RecordKind { video, audio, other };

struct DvrRecordHeader {
    uint8_t raw[kDualRecordHeaderBytes] = {};
    std::size_t header_bytes = 0;
    RecordKind kind = RecordKind::other;
    int frame_class = 0;  // dual form: bits 0-3 of byte 0; standard form: 0 video, 1 audio
    bool key_frame = false;
    uint32_t length_bytes = 0;  // the header's length field as stored
    // Bytes that follow the header: the length for video, always 512 for audio (readers take
    // one block whatever the field says), none for other classes.
    uint32_t payload_bytes = 0;
    uint32_t time_ms = 0;
    uint32_t packed_datetime = 0;
};

// Decodes a record header of the given form from `bytes` (12 or 16 bytes available).
DvrRecordHeader parse_record_header(const uint8_t* bytes, bool dual);

}  // namespace orvel::media
