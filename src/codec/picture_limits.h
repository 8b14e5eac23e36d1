#pragma once
// The largest picture the program shows. Every buffer a picture is written into is sized from
// the stream header within this limit, and every writer (decoders, stamp, conversions,
// renderers, snapshots, recorders) checks it, so a header or a stream that claims more can
// never make anyone write past a buffer.
//
// 1920 x 1088 (whole 16-row macroblocks of 1080p) costs 4,177,920 bytes per YUY2 picture.
#include <cstddef>
#include <cstdint>

namespace orvel::codec {

inline constexpr int kMaxPictureWidth = 1920;
inline constexpr int kMaxPictureHeight = 1088;

// True when a picture of width x height (both at least 1) fits the limit.
constexpr bool picture_size_supported(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxPictureWidth && height <= kMaxPictureHeight;
}

// Bytes of a packed YUY2 picture (2 per pixel).
constexpr std::size_t yuy2_picture_bytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
}

}  // namespace orvel::codec
