#pragma once
// Guarded writing of a decoded picture into the caller's YUY2 buffer, and the zero-padded
// input copy that the MPEG-4 libraries need (their bit readers look a few bytes ahead).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/yuy2_pack.h"

namespace orvel::codec {

// Output size assumed for a decoder created with a zero width or height: the picture buffer
// of every slot holds at least 1280 x 720 packed YUY2 pixels.
inline constexpr std::size_t kUnknownSizeOutputBytes = std::size_t{1280} * 720 * 2;

// Writes `picture` into `output` without ever passing the size the decoder was created with.
// With a created size W x H (both > 0) the picture goes at stride W * 2, cropped to W x H when
// the stream's picture is larger. Created with a zero size, the stream's own width sets the
// stride and only the rows that fit in kUnknownSizeOutputBytes are written.
// Returns false when nothing could be written (empty picture). Any thread.
bool write_picture_guarded(const PlanarPicture& picture, int created_width, int created_height,
                           uint8_t* output);

// True when a stream picture of `width` x `height` can be written directly at stride
// created_width * 2 (fits in the created size).
inline bool fits_created_size(int width, int height, int created_width, int created_height) {
    return created_width > 0 && created_height > 0 && width > 0 && height > 0 &&
           width <= created_width && height <= created_height;
}

// A reusable input copy with zeroed padding behind the data. Grows only when a larger buffer
// arrives, so steady decoding does not allocate.
class PaddedInput {
public:
    static constexpr std::size_t kPaddingBytes = 64;
    // Copies `length` bytes and returns the copy, or nullptr when memory runs out.
    const uint8_t* copy(const uint8_t* data, std::size_t length);

private:
    std::vector<uint8_t> buffer_;
};

}  // namespace orvel::codec
