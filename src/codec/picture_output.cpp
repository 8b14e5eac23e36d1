#include "codec/picture_output.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orvel::codec {

bool write_picture_guarded(const PlanarPicture& picture, int created_width, int created_height,
                           uint8_t* output) {
    if (output == nullptr || picture.width <= 0 || picture.height <= 0) {
        return false;
    }
    if (created_width > 0 && created_height > 0) {
        const int width = std::min(picture.width, created_width);
        const int height = std::min(picture.height, created_height);
        pack_yuy2(picture, width, height, output, static_cast<std::ptrdiff_t>(created_width) * 2);
        return true;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(picture.width) * 2;
    if (row_bytes > kUnknownSizeOutputBytes) {
        return false;
    }
    const int rows = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(picture.height), kUnknownSizeOutputBytes / row_bytes));
    pack_yuy2(picture, picture.width, rows, output, static_cast<std::ptrdiff_t>(row_bytes));
    return true;
}

const uint8_t* PaddedInput::copy(const uint8_t* data, std::size_t length) {
    const std::size_t needed = length + kPaddingBytes;
    if (buffer_.size() < needed) {
        try {
            buffer_.resize(std::max(needed, buffer_.size() * 2));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (length > 0) {
        std::memcpy(buffer_.data(), data, length);
    }
    std::memset(buffer_.data() + length, 0, kPaddingBytes);
    return buffer_.data();
}

}  // namespace orvel::codec
