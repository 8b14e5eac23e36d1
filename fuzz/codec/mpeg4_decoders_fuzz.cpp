// Arbitrary bytes into the MPEG-4 decoder types through the table. The first byte picks the
// type and the created size; the rest is split into buffers at start codes. Whatever picture
// size the bytes announce, nothing may be written past the created size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/decoder_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 64 * 1024) return 0;
    using namespace orvel::codec;
    static const bool initialised = [] {
        decoder_table_init();
        return true;
    }();
    (void)initialised;
    const int type = (data[0] & 1) ? DECODER_MPEG4LIB : DECODER_XVID;
    static const int kSizes[4][2] = {{176, 144}, {352, 288}, {0, 0}, {64, 48}};
    const int width = kSizes[(data[0] >> 1) & 3][0];
    const int height = kSizes[(data[0] >> 1) & 3][1];
    const int handle = decoder_create(type, width, height);
    if (handle < 0) return 0;
    // Exact-size output: ASan catches any write beyond it.
    const std::size_t output_bytes =
        width > 0 ? static_cast<std::size_t>(width) * height * 2 : 1280u * 720u * 2u;
    std::vector<uint8_t> output(output_bytes);
    std::size_t start = 1;
    for (std::size_t i = 2; i + 3 <= size; ++i) {
        const bool code = data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && i > start + 3;
        if (code || i + 3 == size) {
            const std::size_t end = code ? i : size;
            const std::vector<uint8_t> buffer(data + start, data + end);
            decoder_decode(handle, static_cast<int>(buffer.size()), buffer.data(), output.data());
            start = end;
        }
    }
    decoder_destroy(handle);
    return 0;
}
