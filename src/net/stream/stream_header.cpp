#include "net/stream/stream_header.h"

#include <algorithm>
#include <cstring>

namespace orvel::net {
namespace {

void put_u16(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_u32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

StreamRequest build_stream_request(int32_t channel) {
    StreamRequest r{};
    put_u16(&r[2], static_cast<uint32_t>(channel) & 0xFFFF);
    put_u32(&r[4], static_cast<uint32_t>(channel));
    return r;
}

FileRequest build_file_request(bool fast_play, int32_t start_seconds, std::string_view path) {
    FileRequest r{};
    put_u16(&r[0], fast_play ? 2 : 0);
    put_u32(&r[8], static_cast<uint32_t>(start_seconds));
    const size_t n = std::min(path.size(), static_cast<size_t>(kFileRequestPathBytes - 1));
    std::memcpy(&r[12], path.data(), n);
    return r;
}

StreamHeaderFields parse_stream_header(const uint8_t* h) {
    StreamHeaderFields f;
    f.closed_mark = h[1];
    f.width = get_u32(h + 8);
    f.height = get_u32(h + 12);
    f.stream_id = get_u32(h + 16);
    f.duration = get_u32(h + 20);
    f.codec_marker = static_cast<int32_t>(get_u32(h + 24));
    return f;
}

int decoder_type_for_marker(int32_t codec_marker) {
    if (codec_marker == kMarkerDual) return 0;
    if (codec_marker == kMarker4321) return 2;
    return 1;
}

StreamDecoders decoders_for_header(const StreamHeaderFields& h) {
    StreamDecoders d;
    d.dual = h.codec_marker == kMarkerDual;
    d.type = decoder_type_for_marker(h.codec_marker);
    const uint64_t yuy2_bytes = uint64_t{h.width} * h.height * 2;  // cannot overflow 64 bits
    if (h.width == 0 || h.height == 0 ||
        yuy2_bytes > static_cast<uint64_t>(kStreamPictureBufferBytes))
        return d;
    d.usable = true;
    d.width = static_cast<int>(h.width);
    d.height = static_cast<int>(h.height);
    if (d.dual) {
        d.main_width = main_stream_width_for(h.width);
        d.main_height = kMainStreamHeight;
    }
    return d;
}

}  // namespace orvel::net
