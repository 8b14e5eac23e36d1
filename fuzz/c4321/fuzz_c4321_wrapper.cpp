// Codec 4321 as the program uses it: through the decoder table (type 2), whose wrapper
// decodes and writes the YUY2 rows into the caller's buffer. The buffer is exactly the
// width x height x 2 bytes of the created size, so a row written past it is reported.
//
// Input: width and height (16 bits each; areas above 256 K pixels are skipped), then pictures,
// each preceded by a 16-bit length (a length past the end takes the rest).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/decoder_table.h"

namespace {

using namespace orvel;

constexpr std::size_t kMaxInputBytes = 1 << 18;
constexpr uint64_t kMaxPixels = 1u << 18;

// The entry points under test; retarget here when they move.
int create(int width, int height) { return codec::decoder_create(codec::DECODER_4321, width, height); }
int decode(int handle, const std::vector<uint8_t>& picture, uint8_t* output) {
    return codec::decoder_decode(handle, static_cast<int>(picture.size()), picture.data(), output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > kMaxInputBytes) return 0;
    static const bool initialised = [] {
        codec::decoder_table_init();
        return true;
    }();
    (void)initialised;
    const int width = data[0] | data[1] << 8;
    const int height = data[2] | data[3] << 8;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) return 0;
    const int handle = create(width, height);
    if (handle < 0) return 0;
    // Exactly the created size, uninitialised (the decoder only writes it).
    const std::unique_ptr<uint8_t[]> output(new uint8_t[static_cast<std::size_t>(width) * height * 2]);
    std::size_t at = 4;
    while (size - at >= 2) {
        const std::size_t announced = data[at] | data[at + 1] << 8;
        at += 2;
        const std::size_t length = std::min(announced, size - at);
        // An exact copy: the wrapper's reads must stay inside it.
        const std::vector<uint8_t> picture(data + at, data + at + length);
        decode(handle, picture, output.get());
        at += length;
    }
    codec::decoder_destroy(handle);
    return 0;
}
