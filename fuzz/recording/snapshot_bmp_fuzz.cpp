// Snapshot BMP files of any claimed size from pictures of any actual size: a file is made
// only when the picture holds the pixels, and then it has exactly the announced size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/bmp.h"
#include "media/dvr_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::media;
    if (size < 8) return 0;
    const auto width = static_cast<int32_t>(load_u32(data));
    const auto height = static_cast<int32_t>(load_u32(data + 4));
    const std::vector<uint8_t> picture(data + 8, data + size);  // exact size
    std::vector<uint8_t> bmp;
    if (bmp_from_yuy2(picture.data(), picture.size(), width, height, bmp)) {
        if (bmp.size() != bmp_file_bytes(width, height, 24) ||
            load_u32(bmp.data() + 2) != bmp.size())
            __builtin_trap();
    } else if (!bmp.empty()) {
        __builtin_trap();
    }
    if (bmp_from_bgrx(picture.data(), picture.size(), width, height, bmp)) {
        if (bmp.size() != bmp_file_bytes(width, height, 32)) __builtin_trap();
    }
    return 0;
}
