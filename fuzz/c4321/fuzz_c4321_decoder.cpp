// Feeds arbitrary bytes to the codec-4321 decoder: the first two bytes choose the picture
// size, the rest is cut into pictures (each preceded by a one-byte length). Every picture is
// decoded by the plain set and by the accelerated set, which must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/routines.h"

using namespace orvel::codec::c4321;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 64 * 1024) return 0;
    const int width = 8 + (data[0] % 25) * 8;   // 8..200, not always whole macroblocks
    const int height = 8 + (data[1] % 25) * 8;
    data += 2;
    size -= 2;
    PictureDecoder plain(width, height, plain_routines());
    const RoutineSet* fast_set = sse2_routines();
    PictureDecoder fast(width, height, fast_set ? *fast_set : plain_routines());
    if (!plain.valid() || !fast.valid()) return 0;
    std::vector<uint8_t> out_plain(static_cast<size_t>(width) * height * 2);
    std::vector<uint8_t> out_fast(out_plain.size());
    while (size > 0) {
        const size_t length = data[0] == 0 ? size - 1 : (static_cast<size_t>(data[0]) * 4 < size - 1 ? data[0] * 4u : size - 1);
        // An exactly sized copy, so that any read past the picture is caught.
        std::vector<uint8_t> picture(data + 1, data + 1 + length);
        plain.decode(picture.data(), picture.size());
        fast.decode(picture.data(), picture.size());
        plain.write_yuy2(out_plain.data());
        fast.write_yuy2(out_fast.data());
        if (out_plain != out_fast) std::abort();
        data += 1 + length;
        size -= 1 + length;
    }
    return 0;
}
