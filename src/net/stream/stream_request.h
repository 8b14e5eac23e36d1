#pragma once
// The requests that open a stream: the 12-byte live request and the 76-byte recording request
// of the file port. The DVR answers both with a stream header (media/stream_format.h). All
// integers little-endian.
#include <array>
#include <cstdint>
#include <string_view>

namespace orvel::net {

inline constexpr int kStreamRequestBytes = 12;
inline constexpr int kFileRequestBytes = 76;
inline constexpr int kFileRequestPathBytes = 64;

using StreamRequest = std::array<uint8_t, kStreamRequestBytes>;
using FileRequest = std::array<uint8_t, kFileRequestBytes>;

// 0 (16-bit), channel low 16 bits, channel (32-bit), 0 (32-bit).
StreamRequest build_stream_request(int32_t channel);

// Mode (2 in fast play, else 0), 6 zero bytes, start offset in seconds, then the recording's
// path on the DVR, zero-terminated and zero-padded; a longer path is cut to 63 characters.
FileRequest build_file_request(bool fast_play, int32_t start_seconds, std::string_view path);

}  // namespace orvel::net
