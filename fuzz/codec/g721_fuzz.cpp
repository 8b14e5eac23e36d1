// Arbitrary codes through the G.721 decoder: no overflow trap, no read past the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/g721.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    static orvel::codec::AudioDecoderState state;  // carried on, as in the program
    std::vector<int16_t> out(size * 2);
    orvel::codec::audio_decode(state, out.data(), data, size);
    return 0;
}
