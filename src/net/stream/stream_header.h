#pragma once
// The byte layouts that open a stream: the 12-byte live request, the 76-byte recording
// request of the file port, and the 28-byte stream header the DVR answers with (also the head
// of every .dvr file's header block). All integers little-endian.
#include <array>
#include <cstdint>
#include <string_view>

namespace orvel::net {

inline constexpr int kStreamRequestBytes = 12;
inline constexpr int kFileRequestBytes = 76;
inline constexpr int kFileRequestPathBytes = 64;
inline constexpr int kStreamHeaderBytes = 28;

// Codec markers of the stream header.
inline constexpr int32_t kMarkerDual = 1234;
inline constexpr int32_t kMarker4321 = 4321;

using StreamRequest = std::array<uint8_t, kStreamRequestBytes>;
using FileRequest = std::array<uint8_t, kFileRequestBytes>;

// 0 (16-bit), channel low 16 bits, channel (32-bit), 0 (32-bit).
StreamRequest build_stream_request(int32_t channel);

// Mode (2 in fast play, else 0), 6 zero bytes, start offset in seconds, then the recording's
// path on the DVR, zero-terminated and zero-padded; a longer path is cut to 63 characters.
FileRequest build_file_request(bool fast_play, int32_t start_seconds, std::string_view path);

struct StreamHeaderFields {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stream_id = 0;
    uint32_t duration = 0;  // meaningful in .dvr files only
    int32_t codec_marker = 0;
    uint8_t closed_mark = 0;  // byte 1; meaningful in .dvr files only
};

StreamHeaderFields parse_stream_header(const uint8_t* header28);

// Decoder type a codec marker selects: 1234 -> 0 (dual streams), 4321 -> 2, else 1.
int decoder_type_for_marker(int32_t codec_marker);

// Bytes of a pane's picture buffer (1280 x 720 BGRX). A decoder writes width x height x 2 bytes
// of YUY2 into it, so no header may ask for a larger picture.
inline constexpr int64_t kStreamPictureBufferBytes = int64_t{1280} * 720 * 4;

// The decoders a stream header asks for. A standard stream has one (`type`, `width` x
// `height`); a dual stream a type-0 sub-stream decoder of the header's size and a type-0
// main-stream decoder of `main_width` x `main_height`. A header whose picture is empty or
// larger than the picture buffer asks for none (`usable` false): the pane stays blank instead
// of letting a decoder or the stamp write past the buffer.
struct StreamDecoders {
    bool usable = false;
    bool dual = false;
    int type = 1;
    int width = 0;
    int height = 0;
    int main_width = 0;
    int main_height = 0;
};
StreamDecoders decoders_for_header(const StreamHeaderFields& header);

// Main-stream size of a dual-stream channel: 960 x 720 when the sub stream is 320 wide,
// else 1280 x 720.
inline int main_stream_width_for(uint32_t sub_width) { return sub_width == 320 ? 960 : 1280; }
inline constexpr int kMainStreamHeight = 720;

}  // namespace orvel::net
