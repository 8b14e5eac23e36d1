#pragma once
// The picture size an MPEG-4 part 2 stream announces in its video object layer (VOL) headers,
// read before the buffer reaches a decoding library: the libraries allocate their reference
// pictures for whatever size a header announces (up to 8191 x 8191, hundreds of megabytes per
// decoder), so a hostile header is refused before it gets there.
#include <cstddef>
#include <cstdint>

namespace orvel::codec {

// The largest picture a decoder accepts from a stream, in pixels (2048 x 2048: every camera
// picture, with room to spare).
inline constexpr int64_t kMaxStreamPixels = int64_t{2048} * 2048;

// Largest picture area (width x height, in pixels) announced by a rectangular VOL header in
// `data`; 0 when the buffer holds none. Any thread; reads only the buffer.
int64_t largest_vol_pixels(const uint8_t* data, std::size_t length);

}  // namespace orvel::codec
